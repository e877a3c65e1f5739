// JSON output of the replay: every key of the state dump in its fixed order, and the event lines.
#include "script/dump.h"

#include "playfield/numbertext.h"

#include <charconv>
#include <cmath>

namespace farvane::replay {

namespace {

template <typename Number>
void appendChars(std::string& out, Number value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendBool(std::string& out, bool value) { out += value ? "true" : "false"; }

void appendKey(std::string& out, std::string_view key)
{
    out += '"';
    out += key;
    out += "\": ";
}

template <typename Array, typename Each>
void appendArray(std::string& out, std::string_view key, const Array& items, Each&& each)
{
    appendKey(out, key);
    out += '[';
    bool first = true;
    for (const auto& item : items) {
        if (!first)
            out += ", ";
        first = false;
        each(item);
    }
    out += "], ";
}

template <typename Array>
void appendIntegers(std::string& out, std::string_view key, const Array& values)
{
    appendArray(out, key, values, [&](std::int16_t value) { appendJsonNumber(out, std::int64_t{value}); });
}

template <typename Array>
void appendVisibleFlags(std::string& out, std::string_view key, const Array& elements)
{
    appendArray(out, key, elements, [&](const auto& element) { appendBool(out, element.Visible); });
}

template <typename Array>
void appendShapes(std::string& out, std::string_view key, const Array& shapes)
{
    appendArray(out, key, shapes, [&](const Shape& shape) {
        out += "{\"Left\": ";
        appendJsonNumber(out, shape.Left);
        out += ", \"Top\": ";
        appendJsonNumber(out, shape.Top);
        out += ", \"Width\": ";
        appendJsonNumber(out, shape.Width);
        out += ", \"Height\": ";
        appendJsonNumber(out, shape.Height);
        out += ", \"Visible\": ";
        appendBool(out, shape.Visible);
        out += '}';
    });
}

void appendInteger(std::string& out, std::string_view key, std::int64_t value)
{
    appendKey(out, key);
    appendJsonNumber(out, value);
    out += ", ";
}

void appendCaption(std::string& out, std::string_view key, const std::string& caption)
{
    appendKey(out, key);
    appendJsonString(out, caption);
    out += ", ";
}

void appendFlag(std::string& out, std::string_view key, bool value, bool last = false)
{
    appendKey(out, key);
    appendBool(out, value);
    if (!last)
        out += ", ";
}

} // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // Bytes past ASCII are read as the form's single-byte code page, so the line stays UTF-8.
            if (byte < 0x20 || byte >= 0x80) {
                out += "\\u00";
                out += Hex[byte >> 4];
                out += Hex[byte & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void appendJsonNumber(std::string& out, std::int64_t value) { appendChars(out, value); }

void appendJsonNumber(std::string& out, float value)
{
    if (!std::isfinite(value)) {
        out += "null"; // JSON has no infinity; the game's positions never get there
        return;
    }
    if (value == 0)
        value = 0; // no "-0"
    char buffer[64];
    // Fixed notation keeps a whole number in plain digits (2880, 1e20 as 100000002004087734272).
    const char* end = value == std::trunc(value) ? wholeChars(buffer, buffer + sizeof buffer, value)
                                                 : shortestChars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, static_cast<std::size_t>(end - buffer));
}

void appendDumpLine(std::string& out, const Veskara& form, std::uint64_t time)
{
    out += "{\"dump\": {\"t\": ";
    appendChars(out, time);
    out += ", ";
    appendInteger(out, "RightEdge", form.RightEdge);
    appendInteger(out, "LeftEdge", form.LeftEdge);
    appendInteger(out, "FallStep", form.FallStep);
    appendInteger(out, "BigFallStep", form.BigFallStep);
    appendIntegers(out, "Drift", form.Drift);
    appendIntegers(out, "BigDrift", form.BigDrift);
    appendIntegers(out, "SpawnLeft", form.SpawnLeft);
    appendInteger(out, "ScoreStep", form.ScoreStep);
    appendInteger(out, "CountdownStep", form.CountdownStep);
    appendInteger(out, "Steer", form.Steer);
    appendShapes(out, "Obstacle", form.Obstacle);
    appendShapes(out, "BigObstacle", form.BigObstacle);
    appendVisibleFlags(out, "Border", form.Border);
    appendVisibleFlags(out, "Shielda", form.Shielda);
    appendVisibleFlags(out, "Shieldb", form.Shieldb);
    appendVisibleFlags(out, "Shieldc", form.Shieldc);
    appendVisibleFlags(out, "Shieldd", form.Shieldd);
    appendVisibleFlags(out, "Shielde", form.Shielde);
    appendVisibleFlags(out, "Shieldf", form.Shieldf);
    appendInteger(out, "Player1", form.Player1.BorderColor);
    appendInteger(out, "Player2", form.Player2.BorderColor);
    appendInteger(out, "Player3", form.Player3.BorderColor);
    appendInteger(out, "Player4", form.Player4.BorderColor);
    appendInteger(out, "Player5", form.Player5.BorderColor);
    appendInteger(out, "Player6", form.Player6.BorderColor);
    appendCaption(out, "lblScore", form.lblScore.Caption);
    appendCaption(out, "lblHigh", form.lblHigh.Caption);
    appendCaption(out, "lblReady", form.lblReady.Caption);
    appendFlag(out, "Timer1", form.Timer1.Enabled);
    appendFlag(out, "Timer2", form.Timer2.Enabled);
    appendFlag(out, "mnuFile", form.mnuFile.Enabled);
    appendFlag(out, "mnuStart", form.mnuStart.Enabled);
    appendFlag(out, "mnuRestart", form.mnuRestart.Enabled);
    appendFlag(out, "mnuQuit", form.mnuQuit.Enabled);
    appendFlag(out, "mnuHelp", form.mnuHelp.Enabled);
    appendFlag(out, "mnuHow", form.mnuHow.Enabled);
    appendFlag(out, "mnuAbout", form.mnuAbout.Enabled, true);
    out += "}}\n";
}

void appendMsgBoxLine(std::string& out, std::string_view prompt, std::string_view title)
{
    out += "{\"msgbox\": {\"prompt\": ";
    appendJsonString(out, prompt);
    out += ", \"title\": ";
    appendJsonString(out, title);
    out += "}}\n";
}

void appendEndLine(std::string& out, std::uint64_t time)
{
    out += "{\"end\": {\"t\": ";
    appendChars(out, time);
    out += "}}\n";
}

} // namespace farvane::replay
