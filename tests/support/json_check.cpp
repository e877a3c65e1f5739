// A small recursive JSON reader that only says whether the text is well formed.
#include "tests/support/json_check.h"

#include <cstddef>

namespace farvane::fuzz {

namespace {

class Reader {
public:
    explicit Reader(std::string_view input) : text(input) {}

    bool document()
    {
        blanks();
        if (!object())
            return false;
        blanks();
        return at == text.size();
    }

private:
    bool value()
    {
        if (++depth > 64)
            return false;
        blanks();
        bool ok = false;
        if (at < text.size()) {
            const char c = text[at];
            if (c == '{')
                ok = object();
            else if (c == '[')
                ok = array();
            else if (c == '"')
                ok = string();
            else if (c == '-' || (c >= '0' && c <= '9'))
                ok = number();
            else
                ok = word("true") || word("false") || word("null");
        }
        --depth;
        return ok;
    }

    bool object()
    {
        if (!take('{'))
            return false;
        blanks();
        if (take('}'))
            return true;
        for (;;) {
            blanks();
            if (!string())
                return false;
            blanks();
            if (!take(':') || !value())
                return false;
            blanks();
            if (take('}'))
                return true;
            if (!take(','))
                return false;
        }
    }

    bool array()
    {
        if (!take('['))
            return false;
        blanks();
        if (take(']'))
            return true;
        for (;;) {
            if (!value())
                return false;
            blanks();
            if (take(']'))
                return true;
            if (!take(','))
                return false;
        }
    }

    bool string()
    {
        if (!take('"'))
            return false;
        while (at < text.size()) {
            const auto c = static_cast<unsigned char>(text[at++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c == '\\') {
                if (at >= text.size())
                    return false;
                const char e = text[at++];
                if (e == 'u') {
                    for (int n = 0; n < 4; ++n)
                        if (!hexDigit())
                            return false;
                } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                    return false;
                }
            }
        }
        return false;
    }

    bool number()
    {
        take('-');
        if (take('0')) {
        } else if (!digits()) {
            return false;
        }
        if (take('.') && !digits())
            return false;
        if (take('e') || take('E')) {
            if (!take('+'))
                take('-');
            if (!digits())
                return false;
        }
        return true;
    }

    bool digits()
    {
        const std::size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
        return at > start;
    }

    bool hexDigit()
    {
        if (at >= text.size())
            return false;
        const char c = text[at];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        at += hex ? 1 : 0;
        return hex;
    }

    bool word(std::string_view w)
    {
        if (text.substr(at, w.size()) != w)
            return false;
        at += w.size();
        return true;
    }

    bool take(char c)
    {
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }

    void blanks()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            ++at;
    }

    std::string_view text;
    std::size_t at = 0;
    int depth = 0;
};

} // namespace

bool IsJsonObject(std::string_view text) { return Reader(text).document(); }

} // namespace farvane::fuzz
