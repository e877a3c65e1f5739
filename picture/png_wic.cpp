// PNG encoding through the Windows Imaging Component, the system's own encoder, into memory: the
// Windows build of picture/png.h (the Linux build has libpng). Same pixels, 8-bit RGB.
#include "picture/png.h"

#include <cstdio>
#include <vector>

#include <windows.h>
#include <wincodec.h>

namespace farvane {

namespace {

// Holds one COM interface and releases it.
template <typename T>
class Com {
public:
    Com() = default;
    ~Com()
    {
        if (pointer != nullptr)
            pointer->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T* operator->() const { return pointer; }
    T* get() const { return pointer; }
    T** out() { return &pointer; }
    void** outVoid() { return reinterpret_cast<void**>(&pointer); }

private:
    T* pointer = nullptr;
};

// COM on this thread for as long as the encoder works.
class ComApartment {
public:
    ComApartment() : result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result))
            ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    // A thread already in the other kind of apartment can use the encoder all the same.
    bool ready() const { return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE; }

private:
    HRESULT result;
};

std::string failure(const char* step, HRESULT result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return std::string("cannot encode the PNG: ") + step + " failed (" + code + ")";
}

} // namespace

bool encodePng(const FrameBuffer& frame, std::string& png, std::string& error)
{
    const auto width = static_cast<UINT>(frame.width());
    const auto height = static_cast<UINT>(frame.height());
    // Rows of B, G, R bytes, each padded to four bytes.
    const UINT stride = (width * 3 + 3) & ~3U;
    std::vector<BYTE> bgr(static_cast<std::size_t>(stride) * height);
    for (UINT y = 0; y < height; ++y) {
        const std::uint32_t* row =
            frame.pixels() + static_cast<std::size_t>(y) * static_cast<std::size_t>(frame.stride());
        BYTE* out = bgr.data() + static_cast<std::size_t>(y) * stride;
        for (UINT x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            const auto* bytes = reinterpret_cast<const BYTE*>(&row[x]); // R, G, B, A in memory
            const bool argb = frame.order() == PixelOrder::Argb32;
            out[3 * x] = argb ? static_cast<BYTE>(p) : bytes[2];
            out[3 * x + 1] = argb ? static_cast<BYTE>(p >> 8) : bytes[1];
            out[3 * x + 2] = argb ? static_cast<BYTE>(p >> 16) : bytes[0];
        }
    }

    ComApartment apartment;
    if (!apartment.ready()) {
        error = "cannot encode the PNG: COM is not available";
        return false;
    }
    Com<IWICImagingFactory> factory;
    Com<IStream> stream;
    Com<IWICBitmapEncoder> encoder;
    Com<IWICBitmapFrameEncode> image;
    Com<IPropertyBag2> options;
    auto ok = [&error](const char* step, HRESULT result) {
        if (SUCCEEDED(result))
            return true;
        error = failure(step, result);
        return false;
    };
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (!ok("starting the imaging component", ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                                                 IID_IWICImagingFactory, factory.outVoid())) ||
        !ok("making the stream", ::CreateStreamOnHGlobal(nullptr, TRUE, stream.out())) ||
        !ok("starting the encoder", factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) ||
        !ok("starting the encoder", encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        !ok("starting the image", encoder->CreateNewFrame(image.out(), options.out())) ||
        !ok("starting the image", image->Initialize(options.get())) ||
        !ok("setting the size", image->SetSize(width, height)) ||
        !ok("setting the pixel format", image->SetPixelFormat(&format)))
        return false;
    if (!IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        error = "cannot encode the PNG: the encoder does not take 24-bit pixels";
        return false;
    }
    if (!ok("encoding the pixels", image->WritePixels(height, stride, static_cast<UINT>(bgr.size()), bgr.data())) ||
        !ok("finishing the image", image->Commit()) || !ok("finishing the file", encoder->Commit()))
        return false;

    HGLOBAL memory = nullptr;
    STATSTG info{};
    if (!ok("reading the encoded bytes", ::GetHGlobalFromStream(stream.get(), &memory)) ||
        !ok("reading the encoded bytes", stream->Stat(&info, STATFLAG_NONAME)))
        return false;
    const void* bytes = ::GlobalLock(memory);
    if (bytes == nullptr) {
        error = failure("reading the encoded bytes", HRESULT_FROM_WIN32(::GetLastError()));
        return false;
    }
    png.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(info.cbSize.QuadPart));
    ::GlobalUnlock(memory);
    return true;
}

} // namespace farvane
