-- Wireshark dissector for the controller protocol of the vemo_pna driver.
--
-- The protocol shares Modbus/TCP's header (transaction, protocol id, length,
-- station, function code) and adds four vendor functions: 0x1E read bits,
-- 0x1F write bits, 0x20 read registers, 0x21 write registers; an exception
-- reply carries the function code + 0x80 and a one-byte exception code.
-- Wireshark's own Modbus/TCP dissector decodes the header; this script
-- decodes the vendor functions on top of it. Usage: tools/wireshark/README.md.
--
-- Two ways in:
--  * On the controller port (preference "port", default 15020) the script
--    cuts the TCP stream into frames itself, hands each frame to Wireshark's
--    Modbus/TCP dissector for the header and then decodes the vendor part,
--    exception replies included. Cutting the frames here also copes with a
--    reply whose first segment is shorter than the 8-byte header, which the
--    Modbus/TCP dissector cannot reassemble.
--  * On a port the Modbus/TCP dissector owns (502, or its port preference),
--    the vendor part of requests and replies arrives through the
--    "modbus.data" table (keyed by the string "data": Modbus/TCP hands every
--    function it does not know to it, without the function code), and the
--    exception replies, which Modbus/TCP decodes itself, through a
--    post-dissector.
-- Replies are matched to the latest earlier request with the same
-- transaction number in the same TCP conversation (addresses and ports), so
-- that every register and bit of a reply shows its address.

local PROTO_NAME = "vemo_pna"
local DEFAULT_PORT = 15020
-- Largest frame the controller accepts; a length field beyond it cannot
-- belong to this protocol.
local MAX_FRAME = 4096
local HEADER_SIZE = 8

local FUNC_READ_BITS, FUNC_WRITE_BITS = 0x1E, 0x1F
local FUNC_READ_WORDS, FUNC_WRITE_WORDS = 0x20, 0x21
local EXCEPTION_FLAG = 0x80

-- Area code -> name and kind (true: 16-bit registers, false: bits).
local AREAS = {
    [0x03] = { "M", false }, [0x01] = { "X", false }, [0x02] = { "Y", false },
    [0x04] = { "S", false }, [0x0D] = { "SM", false }, [0x05] = { "T", false },
    [0x06] = { "C", false }, [0x07] = { "ET", false }, [0x12] = { "SEM", false },
    [0x08] = { "HM", false }, [0x09] = { "HS", false }, [0x0A] = { "HT", false },
    [0x0B] = { "HC", false }, [0x0C] = { "HSC", false },
    [0x80] = { "D", true }, [0x86] = { "ID", true }, [0x87] = { "QD", true },
    [0x83] = { "SD", true }, [0x81] = { "TD", true }, [0x82] = { "CD", true },
    [0x85] = { "ETD", true }, [0x88] = { "HD", true }, [0x8C] = { "HSD", true },
    [0x89] = { "HTD", true }, [0x8A] = { "HCD", true }, [0x8B] = { "HSCD", true },
    [0x8D] = { "FD", true }, [0x8E] = { "SFD", true }, [0x91] = { "FS", true },
}

local FUNCTION_NAMES = {
    [FUNC_READ_BITS] = "Read bits",
    [FUNC_WRITE_BITS] = "Write bits",
    [FUNC_READ_WORDS] = "Read registers",
    [FUNC_WRITE_WORDS] = "Write registers",
    [FUNC_READ_BITS + EXCEPTION_FLAG] = "Exception to read bits",
    [FUNC_WRITE_BITS + EXCEPTION_FLAG] = "Exception to write bits",
    [FUNC_READ_WORDS + EXCEPTION_FLAG] = "Exception to read registers",
    [FUNC_WRITE_WORDS + EXCEPTION_FLAG] = "Exception to write registers",
}

local EXCEPTION_NAMES = {
    [1] = "Illegal function",
    [2] = "Illegal address",
    [3] = "Illegal value",
    [4] = "Device failure",
}

local proto = Proto(PROTO_NAME, "VEMO-PNA controller protocol")
proto.prefs.port = Pref.uint("Controller TCP port", DEFAULT_PORT,
    "TCP port of the controller: tells requests from replies, and frames on it are decoded")

local hf = {
    func = ProtoField.uint8("vemo_pna.function", "Function", base.HEX, FUNCTION_NAMES),
    area = ProtoField.string("vemo_pna.area", "Area"),
    area_code = ProtoField.uint8("vemo_pna.area_code", "Area code", base.HEX),
    address = ProtoField.uint24("vemo_pna.address", "Start address", base.DEC),
    count = ProtoField.uint16("vemo_pna.count", "Count", base.DEC),
    byte_count = ProtoField.uint8("vemo_pna.byte_count", "Byte count", base.DEC),
    register = ProtoField.string("vemo_pna.register", "Register"),
    register_address = ProtoField.uint32("vemo_pna.register.address", "Address", base.DEC),
    register_value = ProtoField.uint16("vemo_pna.register.value", "Value", base.HEX_DEC),
    bit = ProtoField.string("vemo_pna.bit", "Bit"),
    bit_address = ProtoField.uint32("vemo_pna.bit.address", "Address", base.DEC),
    bit_value = ProtoField.uint8("vemo_pna.bit.value", "Value", base.DEC),
    exception_code = ProtoField.uint8("vemo_pna.exception_code", "Exception code", base.DEC, EXCEPTION_NAMES),
    request_frame = ProtoField.framenum("vemo_pna.request_frame", "Request in frame", base.NONE, frametype.REQUEST),
    response_frame = ProtoField.framenum("vemo_pna.response_frame", "Response in frame", base.NONE,
        frametype.RESPONSE),
    response_time = ProtoField.relative_time("vemo_pna.response_time", "Response time"),
    garbage = ProtoField.bytes("vemo_pna.garbage", "Bytes that start no frame"),
}
proto.fields = hf

local ef = {
    exception = ProtoExpert.new("vemo_pna.exception", "Exception reply", expert.group.RESPONSE_CODE,
        expert.severity.ERROR),
    malformed = ProtoExpert.new("vemo_pna.malformed", "Malformed frame", expert.group.MALFORMED,
        expert.severity.ERROR),
    garbage = ProtoExpert.new("vemo_pna.garbage.expert", "Bytes that start no frame", expert.group.MALFORMED,
        expert.severity.ERROR),
    unmatched = ProtoExpert.new("vemo_pna.unmatched", "Reply without a request", expert.group.SEQUENCE,
        expert.severity.WARN),
    mismatch = ProtoExpert.new("vemo_pna.mismatch", "Reply does not fit its request", expert.group.PROTOCOL,
        expert.severity.WARN),
    area = ProtoExpert.new("vemo_pna.unknown_area", "Unknown area code", expert.group.PROTOCOL,
        expert.severity.WARN),
}
proto.experts = ef

local f_trans_id = Field.new("mbtcp.trans_id")
local f_func_code = Field.new("modbus.func_code")
local f_exception_code = Field.new("modbus.exception_code")

-- ------------------------------------------------------------ helpers

local function last_value(field)
    local all = { field() }
    local fi = all[#all]
    return fi and fi.value
end

local function is_vendor(fc)
    local base_fc = fc % EXCEPTION_FLAG
    return base_fc >= FUNC_READ_BITS and base_fc <= FUNC_WRITE_WORDS
end

local function is_word_function(fc)
    local base_fc = fc % EXCEPTION_FLAG
    return base_fc == FUNC_READ_WORDS or base_fc == FUNC_WRITE_WORDS
end

local function is_read_function(fc)
    local base_fc = fc % EXCEPTION_FLAG
    return base_fc == FUNC_READ_BITS or base_fc == FUNC_READ_WORDS
end

local function area_name(code)
    local area = AREAS[code]
    if area then return area[1] end
    return string.format("?%02X", code)
end

-- "D100"; an unknown area gets a colon so that code and address stay apart.
local function element_name(code, address)
    return area_name(code) .. (AREAS[code] and "" or ":") .. address
end

local function bit_of(byte, index)
    return math.floor(byte / 2 ^ index) % 2
end

-- The side on the controller port sends replies; without that port in the
-- conversation, the lower port is taken for the server's.
local function is_request(pinfo)
    local port = proto.prefs.port
    if pinfo.dst_port == port and pinfo.src_port ~= port then return true end
    if pinfo.src_port == port and pinfo.dst_port ~= port then return false end
    return pinfo.dst_port < pinfo.src_port
end

-- ------------------------------------------------ request/reply matching

-- Filled on the first, in-order pass; later passes (clicks in the GUI,
-- tshark -2) read what that pass recorded for each frame. The first pass
-- may run without a protocol tree (Wireshark without colouring rules or a
-- filter), when no field can be read: matching uses only the packet info.
local latest_request = {} -- transaction_key() -> request record
local reply_match = {} -- reply key -> request record, or false
local first_reply = {} -- request key -> frame number of its first reply

function proto.init()
    latest_request = {}
    reply_match = {}
    first_reply = {}
end

local function pdu_key(pinfo, offset)
    return pinfo.number .. ":" .. offset
end

-- The conversation (client, then controller) and the transaction number.
local function transaction_key(pinfo, tid)
    local client = tostring(pinfo.net_src) .. ":" .. pinfo.src_port
    local server = tostring(pinfo.net_dst) .. ":" .. pinfo.dst_port
    if not is_request(pinfo) then client, server = server, client end
    return client .. ">" .. server .. "#" .. tid
end

-- Seconds (a difference of frame times) as the NSTime of a time field.
local function nstime(seconds)
    local secs = math.floor(seconds)
    local nsecs = math.floor((seconds - secs) * 1e9 + 0.5)
    if nsecs >= 1e9 then secs, nsecs = secs + 1, nsecs - 1e9 end
    return NSTime.new(secs, nsecs)
end

local function note_request(pinfo, pdu, area_code, address, count)
    if pinfo.visited then return end
    latest_request[transaction_key(pinfo, pdu.tid)] = {
        key = pdu.key,
        frame = pinfo.number,
        time = pinfo.rel_ts,
        fc = pdu.fc,
        area_code = area_code,
        address = address,
        count = count,
    }
end

local function find_request(pinfo, pdu)
    if not pinfo.visited then
        local request = latest_request[transaction_key(pinfo, pdu.tid)] or false
        reply_match[pdu.key] = request
        if request and not first_reply[request.key] then first_reply[request.key] = pinfo.number end
        return request or nil
    end
    return reply_match[pdu.key] or nil
end

-- ------------------------------------------------------------ decoding

-- One item per register: "D100 = 0x1234 (4660)", with address and value.
local function add_registers(tree, range, code, address, count)
    local present = math.floor(range:len() / 2)
    for i = 0, math.min(count, present) - 1 do
        local word = range(2 * i, 2)
        local value = word:uint()
        if address then
            local label = element_name(code, address + i)
            local item = tree:add(hf.register, word, label)
            item:set_text(string.format("%s = 0x%04X (%d)", label, value, value))
            item:add(hf.register_address, word, address + i):set_generated()
            item:add(hf.register_value, word)
        else
            tree:add(hf.register_value, word):set_text(string.format("#%d = 0x%04X (%d)", i, value, value))
        end
    end
end

-- One item per bit, first element in bit 0 of the first byte: "M5 = 1".
local function add_bits(tree, range, code, address, count)
    for i = 0, math.min(count, 8 * range:len()) - 1 do
        local byte = range(math.floor(i / 8), 1)
        local value = bit_of(byte:uint(), i % 8)
        if address then
            local label = element_name(code, address + i)
            local item = tree:add(hf.bit, byte, label)
            item:set_text(string.format("%s = %d", label, value))
            item:add(hf.bit_address, byte, address + i):set_generated()
            item:add(hf.bit_value, byte, value)
        else
            tree:add(hf.bit_value, byte, value):set_text(string.format("#%d = %d", i, value))
        end
    end
end

local function add_area(tree, range, code)
    tree:add(hf.area, range, area_name(code))
    local item = tree:add(hf.area_code, range)
    if not AREAS[code] then item:add_proto_expert_info(ef.area) end
end

-- Area, address and count of the request a reply answers, as generated items.
local function add_request_context(tree, request)
    tree:add(hf.area, area_name(request.area_code)):set_generated()
    tree:add(hf.address, request.address):set_generated()
    tree:add(hf.count, request.count):set_generated()
end

-- Area, start address and count at the front of a request or write reply.
local function decode_target(tree, body)
    local code = body(0, 1):uint()
    add_area(tree, body(0, 1), code)
    local address = body(1, 3):uint()
    tree:add(hf.address, body(1, 3))
    local count = body(4, 2):uint()
    tree:add(hf.count, body(4, 2))
    return code, address, count
end

local function target_text(code, address, count)
    return string.format("%s x%d", element_name(code, address), count)
end

-- Flags a frame too short for its layout; the Info text then says so.
local function malformed(tree, text)
    tree:add_proto_expert_info(ef.malformed, text)
    return nil
end

local function decode_request(pinfo, tree, pdu)
    local body = pdu.body
    if body:len() < 6 then return malformed(tree, "Request too short for area, address and count") end
    local code, address, count = decode_target(tree, body)
    note_request(pinfo, pdu, code, address, count)
    local reply_frame = first_reply[pdu.key]
    if reply_frame then tree:add(hf.response_frame, reply_frame):set_generated() end
    local summary = FUNCTION_NAMES[pdu.fc] .. " " .. target_text(code, address, count)
    if not is_read_function(pdu.fc) then
        if body:len() < 7 then return malformed(tree, "Write request without byte count") end
        local byte_count = body(6, 1):uint()
        local item = tree:add(hf.byte_count, body(6, 1))
        local expected = is_word_function(pdu.fc) and 2 * count or math.floor((count + 7) / 8)
        if byte_count ~= expected then
            item:add_proto_expert_info(ef.malformed,
                string.format("Byte count %d does not fit %d elements (%d expected)", byte_count, count, expected))
        end
        local data = body(7, math.min(byte_count, body:len() - 7))
        if body:len() - 7 < byte_count then
            malformed(tree, string.format("%d data bytes present of %d", body:len() - 7, byte_count))
        end
        if is_word_function(pdu.fc) then
            add_registers(tree, data, code, address, count)
        else
            add_bits(tree, data, code, address, count)
        end
    end
    return summary
end

-- Request frame and response time; false when the reply has no request.
local function decode_match(pinfo, tree, pdu)
    local request = find_request(pinfo, pdu)
    if not request then
        tree:add_proto_expert_info(ef.unmatched,
            string.format("No earlier request with transaction %d in this conversation", pdu.tid))
        return false
    end
    tree:add(hf.request_frame, request.frame):set_generated()
    tree:add(hf.response_time, nstime(pinfo.rel_ts - request.time)):set_generated()
    if request.fc ~= pdu.fc % EXCEPTION_FLAG then
        tree:add_proto_expert_info(ef.mismatch,
            string.format("Request in frame %d has function 0x%02X", request.frame, request.fc))
        return false
    end
    return request
end

local function decode_exception(pinfo, tree, pdu)
    local request = decode_match(pinfo, tree, pdu)
    if request then add_request_context(tree, request) end
    if pdu.body:len() < 1 then return malformed(tree, "Exception reply without exception code") end
    local code = pdu.body(0, 1):uint()
    tree:add(hf.exception_code, pdu.body(0, 1))
    local name = EXCEPTION_NAMES[code] or string.format("code %d", code)
    tree:add_proto_expert_info(ef.exception, "Exception reply: " .. name)
    local target = request and (" " .. target_text(request.area_code, request.address, request.count)) or ""
    return FUNCTION_NAMES[pdu.fc] .. target .. ": " .. name
end

local function decode_read_reply(pinfo, tree, pdu)
    local request = decode_match(pinfo, tree, pdu)
    if request then add_request_context(tree, request) end
    local body = pdu.body
    if body:len() < 1 then return malformed(tree, "Reply without byte count") end
    local byte_count = body(0, 1):uint()
    local item = tree:add(hf.byte_count, body(0, 1))
    local present = body:len() - 1
    if present < byte_count then malformed(tree, string.format("%d data bytes present of %d", present, byte_count)) end
    local data = body(1, math.min(byte_count, present))
    local words = is_word_function(pdu.fc)
    if not request then
        if words then add_registers(tree, data, nil, nil, math.floor(data:len() / 2))
        else add_bits(tree, data, nil, nil, 8 * data:len()) end
        return "Reply, " .. byte_count .. " data bytes"
    end
    local expected = words and 2 * request.count or math.floor((request.count + 7) / 8)
    if byte_count ~= expected then
        item:add_proto_expert_info(ef.mismatch,
            string.format("%d data bytes for %d elements requested (%d expected)", byte_count, request.count, expected))
    end
    if words then
        add_registers(tree, data, request.area_code, request.address, request.count)
    else
        add_bits(tree, data, request.area_code, request.address, request.count)
    end
    return "Reply " .. target_text(request.area_code, request.address, request.count)
end

local function decode_write_reply(pinfo, tree, pdu)
    local request = decode_match(pinfo, tree, pdu)
    if pdu.body:len() < 6 then return malformed(tree, "Write reply too short for area, address and count") end
    local code, address, count = decode_target(tree, pdu.body)
    if request and (request.area_code ~= code or request.address ~= address or request.count ~= count) then
        tree:add_proto_expert_info(ef.mismatch, "Reply echoes " .. target_text(code, address, count) ..
            ", request was " .. target_text(request.area_code, request.address, request.count))
    end
    return "Written " .. target_text(code, address, count)
end

-- pdu: tid, fc, key, body (what follows the function code), fc_range (the
-- function code byte, or nil when only the payload is at hand).
local function decode_pdu(pinfo, tree, pdu, range)
    local subtree = tree:add(proto, range)
    if pdu.fc_range then
        subtree:add(hf.func, pdu.fc_range)
    else
        subtree:add(hf.func, pdu.fc):set_generated()
    end
    local summary
    local kind = ""
    if pdu.fc >= EXCEPTION_FLAG then
        summary = decode_exception(pinfo, subtree, pdu)
    elseif is_request(pinfo) then
        summary = decode_request(pinfo, subtree, pdu)
    else
        kind = "Reply: "
        if is_read_function(pdu.fc) then
            summary = decode_read_reply(pinfo, subtree, pdu)
        else
            summary = decode_write_reply(pinfo, subtree, pdu)
        end
    end
    summary = string.format("#%d %s", pdu.tid, summary or (kind .. FUNCTION_NAMES[pdu.fc] .. " [malformed]"))
    subtree:append_text(", " .. summary)

    -- One Info text per frame, PDUs separated by "; ". The fence keeps each
    -- text when Modbus/TCP writes its own for the next PDU.
    local shown = tonumber(pinfo.private.vemo_pna_pdus or "0")
    pinfo.cols.protocol = "VEMO-PNA"
    pinfo.cols.info = (shown > 0 and "; " or "") .. summary
    pinfo.cols.info:fence()
    pinfo.private.vemo_pna_pdus = tostring(shown + 1)
end

-- ---------------------------------------------- way 1: the controller port

local mbtcp = Dissector.get("mbtcp")
-- Modbus/TCP tells queries from responses only by its own port preference,
-- which a script cannot change; seen from its default port it classifies
-- our frames instead of flagging each one as unclassifiable.
local MODBUS_PORT = 502
local framer_busy = false -- set while Modbus/TCP dissects a frame for the framer

-- Hands one frame to Modbus/TCP with the controller's port shown as 502;
-- the real ports come back right after.
local function call_modbus(frame, pinfo, tree)
    local src, dst = pinfo.src_port, pinfo.dst_port
    if is_request(pinfo) then
        pinfo.dst_port = MODBUS_PORT
    else
        pinfo.src_port = MODBUS_PORT
    end
    framer_busy = true
    -- A frame Modbus/TCP finds malformed is flagged there; ours goes on.
    pcall(mbtcp.call, mbtcp, frame, pinfo, tree)
    framer_busy = false
    pinfo.src_port, pinfo.dst_port = src, dst
end

function proto.dissector(tvb, pinfo, tree)
    local length = tvb:len()
    local offset = 0
    pinfo.private.vemo_pna_framer = "1"
    while offset < length do
        local available = length - offset
        if available < 6 then
            pinfo.desegment_offset = offset
            pinfo.desegment_len = DESEGMENT_ONE_MORE_SEGMENT
            return length
        end
        local frame_length = tvb(offset + 4, 2):uint() + 6
        if tvb(offset + 2, 2):uint() ~= 0 or frame_length < HEADER_SIZE or frame_length > MAX_FRAME then
            -- Nothing tells where the next frame starts: the rest of the
            -- segment goes, and the next segment is read as a new frame.
            local subtree = tree:add(proto, tvb(offset))
            subtree:add(hf.garbage, tvb(offset)):add_proto_expert_info(ef.garbage)
            pinfo.cols.protocol = "VEMO-PNA"
            pinfo.cols.info:append(" [bytes that start no frame]")
            return length
        end
        if available < frame_length then
            pinfo.desegment_offset = offset
            pinfo.desegment_len = frame_length - available
            return length
        end
        local frame = tvb(offset, frame_length):tvb()
        call_modbus(frame, pinfo, tree)
        local fc = frame(7, 1):uint()
        if is_vendor(fc) then
            decode_pdu(pinfo, tree, {
                tid = frame(0, 2):uint(),
                fc = fc,
                fc_range = frame(7, 1),
                body = frame(HEADER_SIZE):tvb(),
                key = pdu_key(pinfo, frame:offset()),
            }, frame())
        end
        offset = offset + frame_length
    end
    return length
end

local registered_port = nil
local function register_port()
    local tcp_port = DissectorTable.get("tcp.port")
    if registered_port then
        -- Removing drops whatever holds the port: leave it alone if another
        -- dissector took it meanwhile (Modbus/TCP, by its port preference).
        local holder = tcp_port:get_dissector(registered_port)
        if holder and tostring(holder) == tostring(Dissector.get(PROTO_NAME)) then
            tcp_port:remove(registered_port, proto)
        end
    end
    registered_port = proto.prefs.port
    tcp_port:add(registered_port, proto)
end

function proto.prefs_changed()
    if registered_port ~= proto.prefs.port then register_port() end
end

register_port()

-- -------------------------------------- way 2: behind Modbus/TCP's own port

local data_proto = Proto("vemo_pna_modbus", "VEMO-PNA vendor functions behind Modbus/TCP")

function data_proto.dissector(tvb, pinfo, tree)
    local fc = last_value(f_func_code)
    local tid = last_value(f_trans_id)
    if not fc or not tid or not is_vendor(fc) then return 0 end
    -- The framer decodes its frames itself, with the function code in view.
    if framer_busy then return tvb:len() end
    decode_pdu(pinfo, tree, { tid = tid, fc = fc, body = tvb, key = pdu_key(pinfo, tvb:offset()) }, tvb())
    return tvb:len()
end

DissectorTable.get("modbus.data"):add("data", data_proto)

-- Exception replies never reach "modbus.data": Modbus/TCP shows the code
-- itself. Off the controller port, this post-dissector adds the vendor view.
local exception_proto = Proto("vemo_pna_exception", "VEMO-PNA exception replies behind Modbus/TCP")

function exception_proto.dissector(tvb, pinfo, tree)
    if pinfo.private.vemo_pna_framer then return end
    for _, fi in ipairs({ f_exception_code() }) do
        local source = fi.source
        local start = fi.offset - HEADER_SIZE
        if source and start >= 0 and source:len() >= fi.offset + 1 then
            local fc = source(start + 7, 1):uint()
            if fc >= EXCEPTION_FLAG and is_vendor(fc) then
                decode_pdu(pinfo, tree, {
                    tid = source(start, 2):uint(),
                    fc = fc,
                    fc_range = source(start + 7, 1),
                    body = source(fi.offset, 1):tvb(),
                    key = pdu_key(pinfo, start),
                }, source(start, HEADER_SIZE + 1))
            end
        end
    end
end

register_postdissector(exception_proto)
