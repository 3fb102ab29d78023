#include "host/hoststr.h"

#include <cstdio>
#include <cstring>

const char* const _afxPchNil = "";

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

size_t Clamp(int value, size_t limit)
{
    if (value < 0) return 0;
    return static_cast<size_t>(value) > limit ? limit : static_cast<size_t>(value);
}

}  // namespace

CString::CString(const char* text, int length)
{
    if (text && length > 0) m_str.assign(text, static_cast<size_t>(length));
}

CString::CString(char ch, int repeat)
{
    if (repeat > 0) m_str.assign(static_cast<size_t>(repeat), ch);
}

CString& CString::operator=(const char* text)
{
    if (!text) {
        m_str.clear();
    } else if (text < m_str.data() || text > m_str.data() + m_str.size()) {
        m_str.assign(text);
    } else {
        m_str = std::string(text);  // assignment from our own buffer
    }
    return *this;
}

CString& CString::operator=(char ch)
{
    m_str.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& other)
{
    m_str += other.m_str;
    return *this;
}

CString& CString::operator+=(const char* text)
{
    if (text) m_str += std::string(text);
    return *this;
}

CString& CString::operator+=(char ch)
{
    m_str.push_back(ch);
    return *this;
}

void CString::Append(const char* data, int length)
{
    if (data && length > 0) m_str.append(data, static_cast<size_t>(length));
}

CString operator+(const CString& a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, const char* b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const char* a, const CString& b)
{
    CString r(a);
    r += b;
    return r;
}

CString operator+(const CString& a, char b)
{
    CString r(a);
    r += b;
    return r;
}

int CString::Compare(const char* text) const
{
    return std::strcmp(GetString(), text ? text : "");
}

int CString::CompareNoCase(const char* text) const
{
    const unsigned char* a = reinterpret_cast<const unsigned char*>(GetString());
    const unsigned char* b = reinterpret_cast<const unsigned char*>(text ? text : "");
    for (;; ++a, ++b) {
        int ca = (*a >= 'A' && *a <= 'Z') ? *a + 32 : *a;
        int cb = (*b >= 'A' && *b <= 'Z') ? *b + 32 : *b;
        if (ca != cb) return ca - cb;
        if (ca == 0) return 0;
    }
}

void CString::FormatV(const char* format, va_list args)
{
    char local[64];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(local, sizeof local, format, copy);
    va_end(copy);
    if (n < 0) {
        m_str.clear();
        return;
    }
    if (static_cast<size_t>(n) < sizeof local) {
        m_str.assign(local, static_cast<size_t>(n));
        return;
    }
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(&out[0], out.size(), format, args);
    out.resize(static_cast<size_t>(n));
    m_str.swap(out);
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...)
{
    CString tail;
    va_list args;
    va_start(args, format);
    tail.FormatV(format, args);
    va_end(args);
    m_str += tail.m_str;
}

int CString::Find(char ch, int start) const
{
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) >= m_str.size()) return -1;
    size_t p = m_str.find(ch, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const char* text, int start) const
{
    if (!text) return -1;
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) > m_str.size()) return -1;
    size_t p = m_str.find(text, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(char ch) const
{
    size_t p = m_str.rfind(ch);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

CString CString::Left(int count) const
{
    return CString(m_str.substr(0, Clamp(count, m_str.size())));
}

CString CString::Mid(int first) const
{
    size_t f = Clamp(first, m_str.size());
    return CString(m_str.substr(f));
}

CString CString::Mid(int first, int count) const
{
    size_t f = Clamp(first, m_str.size());
    size_t n = Clamp(count, m_str.size() - f);
    return CString(m_str.substr(f, n));
}

CString CString::Right(int count) const
{
    size_t n = Clamp(count, m_str.size());
    return CString(m_str.substr(m_str.size() - n));
}

int CString::Delete(int index, int count)
{
    if (index < 0) index = 0;
    if (count > 0 && static_cast<size_t>(index) < m_str.size()) {
        m_str.erase(static_cast<size_t>(index), Clamp(count, m_str.size() - static_cast<size_t>(index)));
    }
    return GetLength();
}

int CString::Insert(int index, char ch)
{
    m_str.insert(Clamp(index, m_str.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const char* text)
{
    if (text) m_str.insert(Clamp(index, m_str.size()), std::string(text));
    return GetLength();
}

CString& CString::MakeUpper()
{
    for (char& c : m_str)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return *this;
}

CString& CString::MakeLower()
{
    for (char& c : m_str)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return *this;
}

CString& CString::TrimLeft()
{
    size_t i = 0;
    while (i < m_str.size() && IsSpace(m_str[i])) ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight()
{
    size_t n = m_str.size();
    while (n > 0 && IsSpace(m_str[n - 1])) --n;
    m_str.resize(n);
    return *this;
}

CString& CString::Trim()
{
    TrimRight();
    return TrimLeft();
}

CString& CString::TrimLeft(char target)
{
    size_t i = 0;
    while (i < m_str.size() && m_str[i] == target) ++i;
    m_str.erase(0, i);
    return *this;
}

CString& CString::TrimRight(char target)
{
    size_t n = m_str.size();
    while (n > 0 && m_str[n - 1] == target) --n;
    m_str.resize(n);
    return *this;
}

CString CString::SpanIncluding(const char* charSet) const
{
    if (!charSet) return CString();
    size_t n = m_str.find_first_not_of(charSet);
    return CString(m_str.substr(0, n == std::string::npos ? m_str.size() : n));
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > 0 && static_cast<size_t>(minLength) > m_str.size()) m_str.resize(static_cast<size_t>(minLength));
    return &m_str[0];
}

char* CString::GetBufferSetLength(int length)
{
    m_str.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return &m_str[0];
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0) {
        newLength = static_cast<int>(std::strlen(m_str.c_str()));  // up to the first NUL
    }
    if (static_cast<size_t>(newLength) < m_str.size()) m_str.resize(static_cast<size_t>(newLength));
}
