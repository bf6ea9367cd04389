// One description of a state serves both directions: a scanner lists its fields once, in order,
// and the same code saves them to a stream or loads them back. Fields go out little-endian with
// their own widths (KivStreamLE.h). A load that fails part-way (short stream, a count beyond its
// bound) leaves Ok() false; whatever it filled in must then be thrown away by the caller.
#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "Model/KivStreamLE.h"

class CKivStateIO {
public:
    // Counts larger than this are refused on load: a state never holds that many items of a kind.
    static constexpr uint64_t kMaxItems = uint64_t(1) << 28;
    static constexpr uint32_t kMaxText = 1u << 20;

    static CKivStateIO Saver(IKivStream* pStream) { return CKivStateIO(pStream, false); }
    static CKivStateIO Loader(IKivStream* pStream) { return CKivStateIO(pStream, true); }

    bool Loading() const { return m_bLoad; }
    bool Ok() const { return m_bOk; }
    void Fail() { m_bOk = false; }

    // Integers, enums, bools and doubles.
    template <class T>
    CKivStateIO& operator()(T& v) {
        if (!m_bOk) return *this;
        if constexpr (std::is_same_v<T, bool>) {
            uint8_t b = v ? 1 : 0;
            (*this)(b);
            if (m_bLoad) v = b != 0;
        } else if (m_bLoad) {
            m_bOk = ReadLE(m_pStream, &v);
        } else {
            m_bOk = WriteLE(m_pStream, v);
        }
        return *this;
    }
    CKivStateIO& operator()(std::string& s) {
        uint32_t n = static_cast<uint32_t>(s.size());
        (*this)(n);
        if (!m_bOk) return *this;
        if (m_bLoad) {
            if (n > kMaxText) return Failed();
            s.assign(n, '\0');
            if (n && !m_pStream->Read(s.data(), n)) return Failed();
        } else if (n && !m_pStream->Write(s.data(), n)) {
            return Failed();
        }
        return *this;
    }
    // Raw bytes of a known count (both sides know it).
    CKivStateIO& Bytes(void* p, uint32_t n) {
        if (!m_bOk || n == 0) return *this;
        m_bOk = m_bLoad ? m_pStream->Read(p, n) != 0 : m_pStream->Write(p, n) != 0;
        return *this;
    }

    // A 64-bit count then each element through fn(io, element).
    template <class T, class Fn>
    CKivStateIO& Vec(std::vector<T>& v, Fn&& fn) {
        uint64_t n = v.size();
        if (!Count(n)) return *this;
        if (m_bLoad) {
            v.clear();
            v.reserve(static_cast<size_t>(std::min<uint64_t>(n, 65536)));
            for (uint64_t i = 0; i < n && m_bOk; ++i) {
                T item{};
                fn(*this, item);
                if (m_bOk) v.push_back(std::move(item));
            }
        } else {
            for (T& item : v) fn(*this, item);
        }
        return *this;
    }
    template <class T>
    CKivStateIO& Vec(std::vector<T>& v) {
        return Vec(v, [](CKivStateIO& io, T& x) { io(x); });
    }
    template <class T>
    CKivStateIO& Set(std::set<T>& s) {
        uint64_t n = s.size();
        if (!Count(n)) return *this;
        if (m_bLoad) {
            s.clear();
            for (uint64_t i = 0; i < n && m_bOk; ++i) {
                T x{};
                (*this)(x);
                if (m_bOk) s.insert(s.end(), x);
            }
        } else {
            for (T x : s) (*this)(x);
        }
        return *this;
    }
    // Maps and multimaps: count, then key and value of each through fnKey and fnValue.
    template <class M, class FnK, class FnV>
    CKivStateIO& Map(M& m, FnK&& fnKey, FnV&& fnValue) {
        uint64_t n = m.size();
        if (!Count(n)) return *this;
        if (m_bLoad) {
            m.clear();
            for (uint64_t i = 0; i < n && m_bOk; ++i) {
                typename M::key_type k{};
                typename M::mapped_type v{};
                fnKey(*this, k);
                fnValue(*this, v);
                if (m_bOk) m.emplace_hint(m.end(), std::move(k), std::move(v));
            }
        } else {
            for (auto& [k, v] : m) {
                auto key = k;
                fnKey(*this, key);
                fnValue(*this, v);
            }
        }
        return *this;
    }

private:
    CKivStateIO(IKivStream* pStream, bool bLoad) : m_pStream(pStream), m_bLoad(bLoad), m_bOk(pStream != nullptr) {}
    CKivStateIO& Failed() {
        m_bOk = false;
        return *this;
    }
    bool Count(uint64_t& n) {
        (*this)(n);
        if (m_bOk && m_bLoad && n > kMaxItems) m_bOk = false;
        return m_bOk;
    }

    IKivStream* m_pStream;
    bool m_bLoad;
    bool m_bOk;
};
