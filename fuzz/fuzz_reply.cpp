// Controller replies are untrusted: whatever arrives on the line, in whatever
// pieces, collection and writes must end with one of their result codes and
// never crash, hang, leak or over-allocate.
//
// Input: REPLY_CONFIG_BYTES bytes that pick the device's byte orders and
// string encoding, then records [control][length][bytes...]. Whenever the
// driver sends a request, records are queued as the next reads' chunks up to
// and including one whose control has REPLY_END_OF_ANSWER. Records left over
// stay queued, so the next request meets them as stale input; once the input
// is used up the line is silent.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "reply_session.h"
#include "support/fake_comm.h"

namespace {

enum : uint8_t {
    REPLY_STAMP_SEQUENCE = 0x01,  // bytes 0-1 := the request's transaction number
    REPLY_STAMP_FUNCTION = 0x02,  // bytes 6-7 := the request's station and function
    REPLY_FIX_LENGTH = 0x04,      // bytes 4-5 := the number of bytes after them
    REPLY_END_OF_ANSWER = 0x08,   // the last chunk queued for this request
    REPLY_MORE_FOLLOWS = 0x10,    // the read's length word says more may follow
    REPLY_OVERSTATE = 0x20,       // the read claims one byte more than it delivers
    REPLY_READ_ERROR = 0x40,      // the read fails (result -1), nothing delivered
};

// Fake-time budget of one session: every attempt of every operation waiting
// its full wait time, and for every input byte (so for every chunk at most)
// one more read loop of four wait times.
const int64_t REPLY_SESSION_MAX_MS = 60000;
const int64_t REPLY_CHUNK_MAX_MS = 400;

class CFuzzLine : public FakeComm {
public:
    explicit CFuzzLine(CFuzzBytes& input) : m_input(input) {}

protected:
    void OnWrite(const Bytes& request) override
    {
        while (!m_input.Empty()) {
            const uint8_t control = m_input.Byte();
            Bytes chunk = m_input.Take(m_input.Byte());
            Stamp(control, request, chunk);
            const int n = static_cast<int>(chunk.size());
            int result = n;
            if (control & REPLY_OVERSTATE) result = n + 1;
            if (control & REPLY_READ_ERROR) result = -1;
            QueueChunk(chunk, result, (control & REPLY_MORE_FOLLOWS) ? n : 0);
            if (control & REPLY_END_OF_ANSWER) break;
        }
    }

private:
    static void Stamp(uint8_t control, const Bytes& request, Bytes& chunk)
    {
        if ((control & REPLY_STAMP_SEQUENCE) && chunk.size() >= 2 && request.size() >= 2) {
            chunk[0] = request[0];
            chunk[1] = request[1];
        }
        if ((control & REPLY_FIX_LENGTH) && chunk.size() >= 6) {
            const size_t rest = chunk.size() - 6;
            chunk[4] = static_cast<uint8_t>(rest >> 8);
            chunk[5] = static_cast<uint8_t>(rest);
        }
        if ((control & REPLY_STAMP_FUNCTION) && chunk.size() >= 8 && request.size() >= 8) {
            chunk[6] = request[6];
            chunk[7] = request[7];
        }
    }

    CFuzzBytes& m_input;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < static_cast<size_t>(REPLY_CONFIG_BYTES)) return 0;
    FuzzClockReset();
    CFuzzBytes input(data + REPLY_CONFIG_BYTES, size - REPLY_CONFIG_BYTES);
    {
        CFuzzLine line(input);
        RunReplySession(data, line);
    }
    // Every wait of the session is bounded by its attempts' wait times and by
    // the chunks the input delivers; a line cannot hold the driver longer.
    const int64_t bound = REPLY_SESSION_MAX_MS + REPLY_CHUNK_MAX_MS * static_cast<int64_t>(size);
    if (std::getenv("FUZZ_TRACE"))
        std::fprintf(stderr, "session: %lld ms for %zu bytes\n", static_cast<long long>(FuzzClockNow()), size);
    if (FuzzClockNow() > bound)
        FuzzFail("the session waited " + std::to_string(FuzzClockNow()) + " ms, more than " + std::to_string(bound));
    FuzzExpectNoRows("fuzz_reply");
    return 0;
}
