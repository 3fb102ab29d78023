// CArray, CByteArray, CStringArray: the runtime's growable arrays.
// Thin wrappers over std::vector; the second template argument is kept for
// source compatibility and every argument is taken by const reference.
#pragma once

#include <vector>

#include "host/hoststr.h"

template <class TYPE, class ARG_TYPE = const TYPE&>
class CArray {
public:
    CArray() = default;
    virtual ~CArray() = default;
    CArray(const CArray&) = default;
    CArray& operator=(const CArray&) = default;

    int GetSize() const { return static_cast<int>(m_data.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_data.empty(); }

    // New elements are value-initialised (0, empty); growBy is accepted and ignored.
    void SetSize(int newSize, int growBy = -1)
    {
        (void)growBy;
        m_data.resize(newSize > 0 ? static_cast<size_t>(newSize) : 0);
    }
    void FreeExtra() { m_data.shrink_to_fit(); }
    void RemoveAll()
    {
        m_data.clear();
        m_data.shrink_to_fit();
    }

    const TYPE& GetAt(int i) const { return m_data[static_cast<size_t>(i)]; }
    TYPE& ElementAt(int i) { return m_data[static_cast<size_t>(i)]; }
    void SetAt(int i, const TYPE& v) { m_data[static_cast<size_t>(i)] = v; }
    TYPE& operator[](int i) { return m_data[static_cast<size_t>(i)]; }
    const TYPE& operator[](int i) const { return m_data[static_cast<size_t>(i)]; }
    TYPE* GetData() { return m_data.data(); }
    const TYPE* GetData() const { return m_data.data(); }

    void SetAtGrow(int i, const TYPE& v)
    {
        if (i < 0) return;
        if (static_cast<size_t>(i) >= m_data.size()) m_data.resize(static_cast<size_t>(i) + 1);
        m_data[static_cast<size_t>(i)] = v;
    }
    int Add(const TYPE& v)
    {
        m_data.push_back(v);
        return GetSize() - 1;
    }
    int Append(const CArray& other)
    {
        int old = GetSize();
        m_data.insert(m_data.end(), other.m_data.begin(), other.m_data.end());
        return old;
    }
    void Copy(const CArray& other)
    {
        if (this != &other) m_data = other.m_data;
    }
    void InsertAt(int i, const TYPE& v, int count = 1)
    {
        if (i < 0 || count < 1) return;
        if (static_cast<size_t>(i) > m_data.size()) m_data.resize(static_cast<size_t>(i));
        m_data.insert(m_data.begin() + i, static_cast<size_t>(count), v);
    }
    void InsertAt(int start, const CArray* other)
    {
        if (!other || start < 0) return;
        if (static_cast<size_t>(start) > m_data.size()) m_data.resize(static_cast<size_t>(start));
        m_data.insert(m_data.begin() + start, other->m_data.begin(), other->m_data.end());
    }
    void RemoveAt(int i, int count = 1)
    {
        if (i < 0 || count < 1 || static_cast<size_t>(i) >= m_data.size()) return;
        size_t end = static_cast<size_t>(i) + static_cast<size_t>(count);
        if (end > m_data.size()) end = m_data.size();
        m_data.erase(m_data.begin() + i, m_data.begin() + static_cast<std::ptrdiff_t>(end));
    }

    // Keeps capacity so that repeated fills of a reused buffer do not allocate.
    void Clear() { m_data.clear(); }
    void Reserve(int n)
    {
        if (n > 0) m_data.reserve(static_cast<size_t>(n));
    }

private:
    std::vector<TYPE> m_data;
};

class CByteArray : public CArray<unsigned char, unsigned char> {};

class CStringArray : public CArray<CString, const char*> {};
