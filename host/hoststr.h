// CString: the runtime's string class, as the driver compiles against it.
// Backed by std::string so that short texts (most frame fields) stay in the
// small-string buffer and cost no heap allocation.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Shared marker that every empty CString hands out as its text.
extern const char* const _afxPchNil;

class CString {
public:
    CString() = default;
    CString(const char* text) : m_str(text ? text : "") {}
    CString(const char* text, int length);
    CString(char ch, int repeat = 1);
    CString(const std::string& text) : m_str(text) {}
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* text);
    CString& operator=(char ch);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }

    const char* GetString() const { return m_str.empty() ? _afxPchNil : m_str.c_str(); }
    operator const char*() const { return GetString(); }
    const std::string& str() const { return m_str; }

    char GetAt(int index) const { return m_str[static_cast<size_t>(index)]; }
    char operator[](int index) const { return GetAt(index); }
    void SetAt(int index, char ch) { m_str[static_cast<size_t>(index)] = ch; }

    CString& operator+=(const CString& other);
    CString& operator+=(const char* text);
    CString& operator+=(char ch);
    void Append(const char* data, int length);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, const char* b);
    friend CString operator+(const char* a, const CString& b);
    friend CString operator+(const CString& a, char b);

    int Compare(const char* text) const;
    int CompareNoCase(const char* text) const;
    friend bool operator==(const CString& a, const CString& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CString& a, const char* b) { return a.Compare(b) == 0; }
    friend bool operator==(const char* a, const CString& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator!=(const char* a, const CString& b) { return !(b == a); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_str < b.m_str; }

    // printf-style; replaces the content.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // -1 when absent; a start beyond the end finds nothing.
    int Find(char ch, int start = 0) const;
    int Find(const char* text, int start = 0) const;
    int ReverseFind(char ch) const;

    // Clamped to the string, as integrators know them.
    CString Left(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Right(int count) const;

    int Delete(int index, int count = 1);
    int Insert(int index, char ch);
    int Insert(int index, const char* text);

    // Latin letters only; other bytes (UTF-8 sequences) are left alone.
    CString& MakeUpper();
    CString& MakeLower();

    CString& TrimLeft();
    CString& TrimRight();
    CString& Trim();
    CString& TrimLeft(char target);
    CString& TrimRight(char target);

    // Leading run of characters that belong to the set.
    CString SpanIncluding(const char* charSet) const;

    char* GetBuffer(int minLength = 0);
    char* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

private:
    std::string m_str;
};
