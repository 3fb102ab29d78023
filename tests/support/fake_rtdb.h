// CFakeRtdb: a scriptable stand-in for the runtime's real-time database
// (IDevRtdbCtrl2) for driver tests.
//
// Channels
//   db.SetChannelType(3, DATATYPE_DOUBLE);   // GetValueTypeByChannel(3) -> 0, type 2
//   Channels without a type are refused: GetValueTypeByChannel returns
//   FAKE_RTDB_UNKNOWN (-1) and leaves the output alone.
//   Every SetValueByChannel call is recorded in Stores() (channel, type, value)
//   and remembered per channel:
//     db.HasStored(3), db.StoreCount(3), db.Stored(3).d / .i / .s
//     (Stored() of a channel never stored returns an empty record of type 0).
//   The stored value is what GetValueByChannel later reads back.
//
// Named variables
//   db.AddVar("V1", 1); db.AddVar("D1", 2.5); db.AddVar("S1", "text");
//   (AddVar(name, std::string) as well). Gets and sets by name follow the
//   variable's own type: int <-> double convert (a double set into an int
//   variable is cut toward zero and saturates, as a runtime would); a string get/set on a
//   numeric variable (or the reverse) is refused with FAKE_RTDB_MISMATCH (-2)
//   and changes nothing. Unknown names are refused with FAKE_RTDB_UNKNOWN.
//   Read back with db.IntVar("V1"), db.DoubleVar("D1"), db.StrVar("S1"),
//   db.VarType("V1") (0 when unknown), db.HasVar(name).
//   Every SetValueByName call (accepted or not) is logged in NameSets().
//
// Results and counters
//   db.ForceResult(FAKE_RTDB_SLOT_GETTYPEBYCHANNEL, 5): that slot returns 5 and
//   does nothing else (outputs untouched, nothing stored, no Stores() entry) until
//   db.ClearForcedResults(). db.Calls(slot) counts calls per slot (forced or
//   not), db.TotalCalls() all of them, db.ResetCounters() clears the counters
//   and logs. SetCollectFlagSuc remembers its argument in LastCollectFlag().
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/hostif.h"

// Slot numbers of the database interface.
enum : int {
    FAKE_RTDB_SLOT_GETTYPEBYNAME = 0,
    FAKE_RTDB_SLOT_GETINTBYNAME = 1,
    FAKE_RTDB_SLOT_GETDOUBLEBYNAME = 2,
    FAKE_RTDB_SLOT_GETSTRBYNAME = 3,
    FAKE_RTDB_SLOT_SETINTBYNAME = 4,
    FAKE_RTDB_SLOT_SETDOUBLEBYNAME = 5,
    FAKE_RTDB_SLOT_SETSTRBYNAME = 6,
    FAKE_RTDB_SLOT_GETTYPEBYCHANNEL = 7,
    FAKE_RTDB_SLOT_GETINTBYCHANNEL = 8,
    FAKE_RTDB_SLOT_GETDOUBLEBYCHANNEL = 9,
    FAKE_RTDB_SLOT_GETSTRBYCHANNEL = 10,
    FAKE_RTDB_SLOT_SETINTBYCHANNEL = 11,
    FAKE_RTDB_SLOT_SETDOUBLEBYCHANNEL = 12,
    FAKE_RTDB_SLOT_SETSTRBYCHANNEL = 13,
    FAKE_RTDB_SLOT_GETIDBYCHANNEL = 14,
    FAKE_RTDB_SLOT_SETCOLLECTFLAG = 15,
    FAKE_RTDB_SLOT_COUNT = 16
};

// Results the fake makes itself.
const int FAKE_RTDB_UNKNOWN = -1;
const int FAKE_RTDB_MISMATCH = -2;

// One value as the fake holds it: type says which member counts.
struct SFakeValue {
    DATATYPE type = 0;
    int i = 0;
    double d = 0;
    std::string s;
};

// One SetValueByChannel call.
struct SFakeStore {
    int channel = -1;
    SFakeValue value;
};

// One SetValueByName call; result is what the fake answered.
struct SFakeNameSet {
    std::string name;
    SFakeValue value;
    int result = 0;
};

class CFakeRtdb : public IDevRtdbCtrl2 {
public:
    CFakeRtdb() = default;
    virtual ~CFakeRtdb() = default;

    // --- set-up
    void SetChannelType(int channel, DATATYPE type) { m_ChannelTypes[channel] = type; }
    void AddVar(const std::string& name, int value);
    void AddVar(const std::string& name, double value);
    void AddVar(const std::string& name, const std::string& value);
    void AddVar(const std::string& name, const char* value) { AddVar(name, std::string(value)); }
    void ForceResult(int slot, int result);
    void ClearForcedResults();

    // --- inspection
    const std::vector<SFakeStore>& Stores() const { return m_Stores; }
    bool HasStored(int channel) const { return m_Channels.count(channel) != 0; }
    int StoreCount(int channel) const;
    SFakeValue Stored(int channel) const;
    const std::vector<SFakeNameSet>& NameSets() const { return m_NameSets; }
    bool HasVar(const std::string& name) const { return m_Vars.count(name) != 0; }
    DATATYPE VarType(const std::string& name) const;
    int IntVar(const std::string& name) const;
    double DoubleVar(const std::string& name) const;
    std::string StrVar(const std::string& name) const;
    int Calls(int slot) const;
    int TotalCalls() const;
    int LastCollectFlag() const { return m_nLastCollectFlag; }
    void ResetCounters();

    // --- IDevRtdbCtrl2
    int GetValueTypeByName(const char* name, DATATYPE& type) override;
    int GetValueByName(const char* name, int& value) override;
    int GetValueByName(const char* name, double& value) override;
    int GetValueByName(const char* name, std::string& value) override;
    int SetValueByName(const char* name, int value) override;
    int SetValueByName(const char* name, double value) override;
    int SetValueByName(const char* name, std::string& value) override;
    int GetValueTypeByChannel(int channel, DATATYPE& type) override;
    int GetValueByChannel(int channel, int& value) override;
    int GetValueByChannel(int channel, double& value) override;
    int GetValueByChannel(int channel, std::string& value) override;
    int SetValueByChannel(int channel, int value) override;
    int SetValueByChannel(int channel, double value) override;
    int SetValueByChannel(int channel, std::string& value) override;
    int GetValueIDByChannel(int channel, int& id) override;
    int SetCollectFlagSuc(int flag) override;

private:
    // Counts the call; true (with result set) when the slot is forced.
    bool Enter(int slot, int& result);
    SFakeValue* FindVar(const char* name);
    int SetByName(int slot, const char* name, const SFakeValue& value);
    int StoreChannel(int slot, int channel, const SFakeValue& value);

    std::map<int, DATATYPE> m_ChannelTypes;
    std::map<int, SFakeValue> m_Channels;
    std::map<std::string, SFakeValue> m_Vars;
    std::vector<SFakeStore> m_Stores;
    std::vector<SFakeNameSet> m_NameSets;
    int m_Calls[FAKE_RTDB_SLOT_COUNT] = {};
    bool m_bForced[FAKE_RTDB_SLOT_COUNT] = {};
    int m_nForced[FAKE_RTDB_SLOT_COUNT] = {};
    int m_nLastCollectFlag = 0;
};
