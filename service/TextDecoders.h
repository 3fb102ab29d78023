// Converters from controller text (GB18030, UTF-16LE) to UTF-8, opened on
// first use and kept for the life of their owner: opening one costs more
// than decoding a short string, and a device decodes its strings on every
// collection cycle.
#pragma once

class CTextDecoders {
public:
    enum { SOURCE_GB18030 = 0, SOURCE_UTF16LE = 1, SOURCE_COUNT = 2 };

    CTextDecoders() = default;
    // A copy opens converters of its own when it needs them.
    CTextDecoders(const CTextDecoders&) {}
    CTextDecoders& operator=(const CTextDecoders&) { return *this; }
    ~CTextDecoders();

    // The open converter (an iconv_t) for the source, in its initial state;
    // null when it cannot be opened.
    void* Get(int source);

private:
    void* m_Handles[SOURCE_COUNT] = {nullptr, nullptr};
};
