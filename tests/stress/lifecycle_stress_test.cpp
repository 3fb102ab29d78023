// Lifecycle stress: many rounds of a device's whole life (create, initialize,
// reference, collect, write, command, move an address, clean up, destroy)
// with the operations in shuffled order, the channel replaced by another,
// misbehaving or withdrawn at random points, and calls made before
// initialization and after clean-up. Every result must be one the interface
// specifies, and no channel row may outlive its round (leaks of anything else
// are the sanitizer build's to catch).
//
// Rounds: VEMO_STRESS_ROUNDS (default 10000, about 2 s in Debug, 10 s under
// the sanitizers, 6 s under qemu-arm; memcheck runs 200). The seed is fixed,
// so a failing round repeats; VEMO_STRESS_SEED picks another sequence.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "config/Dev.h"
#include "driver/qdevctrl.h"
#include "support/blob_builder.h"
#include "support/fake_plc.h"
#include "support/fake_rtdb.h"

// The suite owns the host clock: time moves only when the driver looks at it
// or sleeps, so pacing and reply waits cost no wall time.
namespace {
int64_t g_now = 0;
}  // namespace

extern "C" int64_t Holn_GetTickCount(void)
{
    return g_now++;
}

extern "C" void Holn_Sleep(int ms, int /*reserved*/)
{
    g_now += ms > 0 ? ms : 1;
}

namespace {

const int STRESS_DEFAULT_ROUNDS = 10000;
const uint32_t STRESS_DEFAULT_SEED = 20240613u;
const uint32_t D = 14, M = 0, HSD = 22;

// Results each operation may give, whatever state the device is in.
const std::set<int> INIT_CODES = {0, DEV_ERR_BADARG};
const std::set<int> COMM_CODES = {0, DEV_ERR_BADARG};
const std::set<int> REF_CODES = {0, DEV_ERR_BADARG, DEV_ERR_NORTDB, DEV_ERR_RESOURCE};
const std::set<int> COLLECT_CODES = {0, 1, 2, 7, DEV_ERR_NOCOMM, DEV_ERR_NORTDB, DEV_ERR_ADDRCHANGE};
const std::set<int> WRITE_CODES = {0, 1, 2, 4, 5, 7, DEV_ERR_BADARG, DEV_ERR_NOCOMM, DEV_ERR_ADDRCHANGE};
const std::set<int> IOCTL_CODES = {0, 1, 2, 4, 5, 6, 7, DEV_ERR_BADARG, DEV_ERR_NOCOMM, DEV_ERR_ADDRCHANGE};
const std::set<int> ADDRESS_CODES = {0, DEV_ERR_BADARG};

int EnvInt(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text) return fallback;
    return std::atoi(text);
}

SBlobRow Sized(SBlobRow row, uint32_t bit)
{
    row.bit = bit;
    return row;
}

// Configurations the rounds pick from: one word, a mix of every kind, bits
// only, strings, an empty table, and bytes that are no blob at all.
std::vector<std::vector<uint8_t>> Blobs()
{
    const std::vector<int32_t> props = {1, 20, 0, 0, 0, 0, 1, 0, 0};
    std::vector<std::vector<uint8_t>> blobs;
    blobs.push_back(DeviceBlob({SBlobRow::Word(D, 0)}, props).Bytes());
    blobs.push_back(DeviceBlob({SBlobRow::Bit(M, 0), SBlobRow::Bit(M, 3), SBlobRow::Word(D, 0, 86),
                                SBlobRow::Word(D, 2, 89), Sized(SBlobRow::Word(D, 4, 5), 5), SBlobRow::Word(D, 5, 93),
                                Sized(SBlobRow::Word(D, 20, 131), 8), SBlobRow::Word(HSD, 1, 84)},
                               {2, 0, 1, 1, 2, 1, 0, 7, 3})
                        .Bytes());
    blobs.push_back(DeviceBlob({SBlobRow::Bit(M, 0), SBlobRow::Bit(M, 1), SBlobRow::Bit(M, 2000)}, props).Bytes());
    blobs.push_back(
        DeviceBlob({Sized(SBlobRow::Word(D, 0, 131), 6), Sized(SBlobRow::Word(D, 10, 131), 20)}, props).Bytes());
    blobs.push_back(DeviceBlob({}, props).Bytes());
    blobs.push_back({0x20, 0x4E, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3});
    return blobs;
}

const char* const COMMANDS[] = {
    "READ(D,0,DUB=Var1=St)", "WRITE(M,5,X=1)",        "WRITE32(D,0,DF=S1)", "READBLOCK(D,10,[DUB][WUB],2,Rec)",
    "READPV(D,0,WUB,3,T01)", "WRITEP(D,0,WUB,2,1,2)", "FOO(D,1,WUB=Var1)",  "READ(D,1,WUB=Var1",
};

// What the rounds got done, so that a run where every call is refused early
// cannot pass for a stress run.
struct SStressTally {
    int readRequests = 0;
    int writeRequests = 0;
    int collectsRead = 0;
    int commandsDone = 0;
};

// The lines a round may lend the device.
enum ELine { LINE_PLC, LINE_OTHER_PLC, LINE_BAD_TYPE, LINE_NONE, LINE_COUNT };

class CRound {
public:
    CRound(std::mt19937& random, const std::vector<std::vector<uint8_t>>& blobs) : m_random(random), m_blobs(blobs)
    {
        m_db.AddVar("Var1", 0);
        m_db.AddVar("St", 0);
        m_db.AddVar("S1", "1.5");
        m_db.AddVar("Rec", "");
        for (const char* name : {"T01", "T02", "T03"}) m_db.AddVar(name, 0.0);
        for (int i = 0; i < 8; ++i) m_db.SetChannelType(i, i % 3 + 1);
        m_otherPlc.SetCommType(2);
        m_badTypePlc.SetCommType(3);
        Misbehave(m_plc);
        Misbehave(m_otherPlc);
    }

    void Run(SStressTally& tally)
    {
        m_dev = CreateDeviceCtrl("STRESS", &m_db);
        ASSERT_NE(nullptr, m_dev);
        EXPECT_EQ(2, GetInterfaceVersion(Pick(3), m_dev));
        // The usual start, each part now and then left out.
        if (Pick(10) != 0) Init();
        if (Pick(10) != 0) Expect("UpdataCommunication", m_dev->UpdataCommunication(&m_plc), COMM_CODES);
        if (Pick(10) != 0) Reference();
        const int steps = 4 + Pick(12);
        for (int i = 0; i < steps && !::testing::Test::HasFailure(); ++i) Step();
        // Clean-up is sometimes followed by more calls, sometimes left to the destructor.
        if (Pick(8) != 0) Expect("CleanupDevice", m_dev->CleanupDevice(), {0});
        if (Pick(4) == 0) Step();
        EXPECT_EQ(0, DestroyDeviceCtrl(m_dev));
        m_dev = nullptr;
        for (const CFakePlc* plc : {&m_plc, &m_otherPlc}) {
            for (const SPlcRequest& request : plc->Requests()) {
                const bool write = request.function == 0x1F || request.function == 0x21;
                ++(write ? tally.writeRequests : tally.readRequests);
            }
        }
        tally.collectsRead += m_collectsRead;
        tally.commandsDone += m_commandsDone;
    }

private:
    int Pick(int n) { return static_cast<int>(m_random() % static_cast<uint32_t>(n)); }

    void Misbehave(CFakePlc& plc)
    {
        switch (Pick(6)) {
            case 0:
                plc.StaySilent(1 + Pick(3));
                break;
            case 1:
                plc.AnswerStale(1 + Pick(3));
                break;
            case 2:
                plc.AnswerException(0x02, 1 + Pick(2));
                break;
            case 3:
                plc.AnswerSplit({3, 4}, -1);
                break;
            case 4:
                plc.AnswerGarbage({0x00, 0x01, 0x5B}, 1);
                break;
            default:
                break;
        }
    }

    void Expect(const char* what, int result, const std::set<int>& allowed)
    {
        EXPECT_TRUE(allowed.count(result)) << what << " returned " << result << " in round " << m_round;
    }

    void Init()
    {
        const std::vector<uint8_t>& blob = m_blobs[static_cast<size_t>(Pick(static_cast<int>(m_blobs.size())))];
        Expect("InitDevice", m_dev->InitDevice(blob.data(), static_cast<int>(blob.size())), INIT_CODES);
        const DEV_DATA* mydata = dynamic_cast<CDevCtrl*>(m_dev)->HolnData().pMydata;
        m_rows = mydata && mydata->pDevTable ? mydata->pDevTable->GetRowCount() : 0;
    }

    void Lend()
    {
        switch (Pick(LINE_COUNT)) {
            case LINE_PLC:
                Expect("UpdataCommunication", m_dev->UpdataCommunication(&m_plc), COMM_CODES);
                break;
            case LINE_OTHER_PLC:
                Expect("UpdataCommunication", m_dev->UpdataCommunication(&m_otherPlc), COMM_CODES);
                break;
            case LINE_BAD_TYPE:
                Expect("UpdataCommunication", m_dev->UpdataCommunication(&m_badTypePlc), {DEV_ERR_BADARG});
                break;
            default:
                Expect("UpdataCommunication", m_dev->UpdataCommunication(nullptr), {0});
                break;
        }
    }

    // Flags or references for every row, plus one spare entry so that a
    // table without rows still hands over a valid array.
    std::vector<int> Flags()
    {
        std::vector<int> flags(static_cast<size_t>(m_rows) + 1);
        for (int& flag : flags) flag = Pick(8) < 5 ? 1 : Pick(4);
        return flags;
    }

    // Mostly one entry per row; now and then one short, one over, or negative
    // when there are no rows (Flags() always has room for one more).
    int Count()
    {
        const int pick = Pick(8);
        if (pick == 0) return m_rows - 1;
        if (pick == 1) return m_rows + 1;
        return m_rows;
    }

    void Write()
    {
        int number = Pick(1000) - 500;
        double real = number / 8.0;
        char text[] = "stress";
        const int channel = Pick(m_rows + 2) - 1;  // one below and one beyond the rows too
        switch (Pick(3)) {
            case 0:
                Expect("WriteChannel", m_dev->WriteChannel(channel, DATATYPE_INT, &number), WRITE_CODES);
                break;
            case 1:
                Expect("WriteChannel", m_dev->WriteChannel(channel, DATATYPE_DOUBLE, &real), WRITE_CODES);
                break;
            default:
                Expect("WriteChannel", m_dev->WriteChannel(channel, DATATYPE_STRING, text), WRITE_CODES);
                break;
        }
    }

    void Reference()
    {
        std::vector<int> refs = Flags();
        Expect("ChannelRefChange", m_dev->ChannelRefChange(refs.data(), Count()), REF_CODES);
    }

    void Collect()
    {
        std::vector<int> flags = Flags();
        const size_t before = Requests();
        const int r = m_dev->CollectDevData(flags.data(), Count());
        Expect("CollectDevData", r, COLLECT_CODES);
        if (r == 0 && Requests() > before) ++m_collectsRead;
    }

    void Command()
    {
        const char* command = COMMANDS[Pick(sizeof COMMANDS / sizeof COMMANDS[0])];
        const size_t before = Requests();
        const int r = m_dev->DevIOCtrl(command);
        Expect("DevIOCtrl", r, IOCTL_CODES);
        if (r == 0 && Requests() > before) ++m_commandsDone;
    }

    size_t Requests() const { return m_plc.RequestCount() + m_otherPlc.RequestCount(); }

    // Mostly the work of a running device; now and then the runtime changes
    // the line, the references or an address, or repeats initialization.
    void Step()
    {
        const int pick = Pick(20);
        if (pick < 7) {
            Collect();
        } else if (pick < 10) {
            Write();
        } else if (pick < 13) {
            Command();
        } else if (pick < 15) {
            Lend();
        } else if (pick < 17) {
            Reference();
        } else if (pick < 18) {
            Expect("SetChannelAddress", m_dev->SetChannelAddress(Pick(m_rows + 1), Pick(5) - 2), ADDRESS_CODES);
        } else if (pick < 19) {
            Init();
        } else {
            Expect("GetInterfaceVersion", GetInterfaceVersion(Pick(3), m_dev), {2});
        }
    }

public:
    int m_round = 0;

private:
    std::mt19937& m_random;
    const std::vector<std::vector<uint8_t>>& m_blobs;
    CFakeRtdb m_db;
    CFakePlc m_plc;
    CFakePlc m_otherPlc;
    CFakePlc m_badTypePlc;
    IDeviceCtrl* m_dev = nullptr;
    int m_rows = 0;
    int m_collectsRead = 0;
    int m_commandsDone = 0;
};

TEST(LifecycleStress, RoundsEndWithSpecifiedResultsAndNoRowsLeft)
{
    const int rounds = EnvInt("VEMO_STRESS_ROUNDS", STRESS_DEFAULT_ROUNDS);
    std::mt19937 random(static_cast<uint32_t>(EnvInt("VEMO_STRESS_SEED", static_cast<int>(STRESS_DEFAULT_SEED))));
    const std::vector<std::vector<uint8_t>> blobs = Blobs();
    const uint32_t rowsAtStart = CDevRow::GetRowNum();
    SStressTally tally;
    for (int round = 0; round < rounds; ++round) {
        g_now = 0;
        CRound r(random, blobs);
        r.m_round = round;
        r.Run(tally);
        ASSERT_EQ(rowsAtStart, CDevRow::GetRowNum()) << "channel rows left behind by round " << round;
        if (::testing::Test::HasFailure()) break;
    }
    // The mix must keep reaching the controller: reads, writes, collections
    // and commands that got through, in a good share of the rounds.
    EXPECT_GT(tally.readRequests, rounds);
    EXPECT_GT(tally.writeRequests, rounds / 4);
    EXPECT_GT(tally.collectsRead, rounds / 10);
    EXPECT_GT(tally.commandsDone, rounds / 20);
    std::printf("rounds %d: %d read and %d write requests, %d collections read, %d commands carried out\n", rounds,
                tally.readRequests, tally.writeRequests, tally.collectsRead, tally.commandsDone);
}

// One device for a long time: the channel comes and goes between collections
// and writes, and the value arrays stay sized to the channels.
TEST(LifecycleStress, LongLivedDeviceKeepsItsArraysThroughChannelChurn)
{
    const int rounds = EnvInt("VEMO_STRESS_ROUNDS", STRESS_DEFAULT_ROUNDS);
    std::mt19937 random(STRESS_DEFAULT_SEED + 1);
    CFakeRtdb db;
    CFakePlc plc;
    plc.SetWords(D, 0, {1, 2, 3, 4, 5, 6});
    const std::vector<uint8_t> blob = Blobs()[1];
    CDevCtrl* dev = new CDevCtrl("LONG", &db);
    ASSERT_EQ(0, dev->InitDevice(blob.data(), static_cast<int>(blob.size())));
    const int rows = dev->HolnData().pMydata->pDevTable->GetRowCount();
    const uint32_t liveRows = CDevRow::GetRowNum();
    std::vector<int> ones(static_cast<size_t>(rows), 1);
    ASSERT_EQ(0, dev->ChannelRefChange(ones.data(), rows));
    int collected = 0;
    for (int i = 0; i < rounds; ++i) {
        if (random() % 5 == 0) {
            dev->UpdataCommunication(random() % 2 ? &plc : nullptr);
            if (random() % 3 == 0) plc.StaySilent();
        }
        const int r = dev->CollectDevData(ones.data(), rows);
        ASSERT_TRUE(COLLECT_CODES.count(r)) << r;
        if (r == 0) ++collected;
        int value = static_cast<int>(random() % 100);
        ASSERT_TRUE(WRITE_CODES.count(dev->WriteChannel(2, DATATYPE_INT, &value)));
        ASSERT_EQ(rows + 1, dev->Values().GetSize());
        ASSERT_EQ(rows + 1, dev->Strings().GetSize());
        ASSERT_EQ(liveRows, CDevRow::GetRowNum());
    }
    EXPECT_GT(collected, 0);
    EXPECT_EQ(0, dev->CleanupDevice());
    delete dev;
}

}  // namespace
