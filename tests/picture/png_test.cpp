// A frame as PNG: read back, the file holds the frame's pixels exactly, in either pixel order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <png.h>

#include "picture/png.h"
#include "picture/raster.h"

using namespace farvane;

TEST(Png, AFrameReadsBackPixelForPixelAs8BitRgb)
{
    Scene scene;
    scene.Obstacle[1].Visible = true;
    scene.lblReady.Caption = "Ready";
    scene.Player1.BorderColor = Red; // a colour whose channels differ, so swapped ones show
    for (const double ratio : {1.0, 1.5}) {
        for (const PixelOrder order : {PixelOrder::Argb32, PixelOrder::Rgba8888}) {
            FrameBuffer frame(ratio, order);
            rasterize(scene, frame);
            std::string bytes, error;
            ASSERT_TRUE(encodePng(frame, bytes, error)) << error;
            ASSERT_GT(bytes.size(), 26u);
            EXPECT_EQ(bytes[24], 8) << "bit depth";
            EXPECT_EQ(bytes[25], 2) << "colour type: RGB, no alpha";

            png_image image{};
            image.version = PNG_IMAGE_VERSION;
            ASSERT_TRUE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) << image.message;
            ASSERT_EQ(int(image.width), frame.width());
            ASSERT_EQ(int(image.height), frame.height());
            image.format = PNG_FORMAT_RGB;
            std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
            ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;

            // The reference: the same frame drawn in the Argb32 order.
            FrameBuffer argb(ratio);
            rasterize(scene, argb);
            int wrong = 0;
            for (int i = 0; i < argb.width() * argb.height(); ++i) {
                const std::uint32_t p = argb.pixels()[i];
                const png_byte* got = &rgb[std::size_t(i) * 3];
                wrong += got[0] != png_byte(p >> 16) || got[1] != png_byte(p >> 8) || got[2] != png_byte(p);
            }
            EXPECT_EQ(wrong, 0) << "ratio " << ratio << ", order " << int(order);
        }
    }
}
