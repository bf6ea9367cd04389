// A text that costs one pointer while it is empty, as the texts of most carved files are: the
// carved-file list holds a million records without a million empty strings.
#pragma once

#include <memory>
#include <ostream>
#include <string>

class KivShortText {
public:
    KivShortText() = default;
    KivShortText(const std::string& s) { Set(s); }  // NOLINT: stands in for a string
    KivShortText(const char* s) { Set(s ? std::string(s) : std::string()); }
    KivShortText(const KivShortText& o) { Set(o.str()); }
    KivShortText(KivShortText&&) noexcept = default;
    KivShortText& operator=(const KivShortText& o) {
        if (this != &o) Set(o.str());
        return *this;
    }
    KivShortText& operator=(KivShortText&&) noexcept = default;
    KivShortText& operator=(std::string s) {
        Set(std::move(s));
        return *this;
    }
    KivShortText& operator=(const char* s) {
        Set(s ? std::string(s) : std::string());
        return *this;
    }

    const std::string& str() const {
        static const std::string kEmpty;
        return m_p ? *m_p : kEmpty;
    }
    operator const std::string&() const { return str(); }  // NOLINT: read as a string
    const char* c_str() const { return str().c_str(); }
    bool empty() const { return !m_p; }
    size_t size() const { return str().size(); }
    void clear() { m_p.reset(); }

    friend bool operator==(const KivShortText& a, const KivShortText& b) { return a.str() == b.str(); }
    friend bool operator==(const KivShortText& a, const std::string& b) { return a.str() == b; }
    friend bool operator==(const KivShortText& a, const char* b) { return a.str() == (b ? b : ""); }
    friend std::ostream& operator<<(std::ostream& os, const KivShortText& t) { return os << t.str(); }

private:
    void Set(std::string s) {
        if (s.empty())
            m_p.reset();
        else
            m_p = std::make_unique<std::string>(std::move(s));
    }
    std::unique_ptr<std::string> m_p;
};
