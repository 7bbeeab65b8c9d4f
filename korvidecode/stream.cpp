// Strict parser of a Korvi printer stream.
#include "stream.h"

#include <algorithm>
#include <cstring>

#include "payload.h"

namespace {

const uint8_t kInit[] = {0x1B, 0x26, 0x42, 0x1B, 0x25, 0x2D, 0x39, 0x38, 0x37, 0x36, 0x35, 0x58};
const uint8_t kStartPage[] = {0x1B, 0x24, 0x41, 0x1B, 0x21, 0x41, 0x00, 0x00, 0x00};
const uint8_t kEndPage[] = {0x1B, 0x24, 0x42};
const uint8_t kBlankLine[] = {0x1B, 0x2A, 0x42, 0x01, 0x00};
const uint8_t kFrameTag[] = {0x1B, 0x2A, 0x41, 0x02};
const uint8_t kInputBin[] = {0x1B, 0x26, 0x41, 0x01, 0x00, 0x01};
const uint8_t kResolution[] = {0x1B, 0x26, 0x41, 0x03, 0x00, 0x00, 0x00};

// CRC-16/XMODEM, bit by bit: an independent check of the filter's table-driven one.
uint16_t crc16(const uint8_t* bytes, size_t count)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= uint16_t(bytes[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

// Dots from the left edge to the line's last black dot, inclusive.
size_t inkWidth(const std::vector<uint8_t>& line)
{
    size_t n = line.size();
    while (n > 0 && line[n - 1] == 0xFF)
        --n;
    if (n == 0)
        return 0;
    unsigned lastBlack = 7;
    while (line[n - 1] & (1u << (7 - lastBlack)))
        --lastBlack;
    return (n - 1) * 8 + lastBlack + 1;
}

uint16_t le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

class Parser {
public:
    Parser(const uint8_t* data, size_t size, Stream& s, ParseOptions o) : data_(data), size_(size), s_(s), o_(o)
    {
        s_.size = size;
    }

    bool run()
    {
        if (!expect(kInit, sizeof kInit, "the job init command ESC &B ESC %-98765X"))
            return false;
        s_.hasInit = true;
        note(0, sizeof kInit, "init");
        if (at_ == size_)
            return true;
        if (!settings())
            return false;
        if (at_ == size_)
            return fault(at_, "the stream ends after the settings block: expected a page");
        while (at_ < size_)
            if (!page())
                return false;
        return true;
    }

private:
    bool fault(size_t offset, std::string what)
    {
        s_.fault = StreamFault{offset, std::move(what)};
        return false;
    }

    bool startsWith(const uint8_t* bytes, size_t n) const
    {
        return size_ - at_ >= n && memcmp(data_ + at_, bytes, n) == 0;
    }

    bool expect(const uint8_t* bytes, size_t n, const char* what)
    {
        if (!startsWith(bytes, n))
            return fault(at_, std::string("expected ") + what);
        at_ += n;
        return true;
    }

    void note(size_t offset, size_t size, const std::string& text)
    {
        if (o_.keepCommands)
            s_.commands.push_back({offset, size, text});
    }

    // A settings command with a fixed prefix and one variable byte.
    bool settingByte(uint8_t group, const char* name, uint8_t& value)
    {
        const uint8_t prefix[] = {0x1C, 0x16, group, 0x42};
        if (!expect(prefix, sizeof prefix, (std::string("the ") + name + " command 1C 16 0" +
                                            char('0' + group) + " 42").c_str()))
            return false;
        if (at_ == size_)
            return fault(at_, std::string("expected the ") + name + " value byte");
        value = data_[at_++];
        note(at_ - 5, 5, std::string(name) + " byte 0x" + hexByte(value));
        return true;
    }

    static std::string hexByte(uint8_t b)
    {
        static const char digits[] = "0123456789ABCDEF";
        return {digits[b >> 4], digits[b & 15]};
    }

    bool settings()
    {
        StreamSettings st;
        if (!settingByte(1, "paper weight", st.paperWeightByte) || !settingByte(2, "print density", st.densityByte) ||
            !settingByte(3, "render type", st.renderTypeByte))
            return false;
        if (!expect(kInputBin, sizeof kInputBin, "the input bin command 1B 26 41 01 00 01"))
            return false;
        note(at_ - 6, 6, "input bin");
        if (size_ - at_ < 8 || data_[at_] != 0x1B || data_[at_ + 1] != 0x78 || data_[at_ + 4] != 0x1B ||
            data_[at_ + 5] != 0x79)
            return fault(at_, "expected the paper size command ESC x width ESC y height");
        st.paperWidth = le16(data_ + at_ + 2);
        st.paperHeight = le16(data_ + at_ + 6);
        note(at_, 8, "paper size " + std::to_string(st.paperWidth) + " x " + std::to_string(st.paperHeight) + " dots");
        at_ += 8;
        if (!expect(kResolution, sizeof kResolution, "the resolution command 1B 26 41 03 00 00 00"))
            return false;
        note(at_ - 7, 7, "resolution");
        if (size_ - at_ < 7 || data_[at_] != 0x1B || data_[at_ + 1] != 0x26 || data_[at_ + 2] != 0x6C)
            return fault(at_, "expected the copy-count command ESC &l copies CRC");
        st.copies = le16(data_ + at_ + 3);
        st.crc = le16(data_ + at_ + 5);
        st.expectedCrc = crc16(data_ + at_, 5);
        note(at_, 7, "copies " + std::to_string(st.copies));
        s_.settings = st;
        if (st.crc != st.expectedCrc)
            return fault(at_ + 5, "copy-count CRC is 0x" + hexByte(uint8_t(st.crc >> 8)) + hexByte(uint8_t(st.crc)) +
                                      ", expected 0x" + hexByte(uint8_t(st.expectedCrc >> 8)) +
                                      hexByte(uint8_t(st.expectedCrc)));
        at_ += 7;
        return true;
    }

    bool page()
    {
        if (!startsWith(kStartPage, sizeof kStartPage))
            return fault(at_, "expected the start of a page ESC $A ESC !A 00 00 00, or the end of the stream");
        s_.pages.push_back(StreamPage{});
        StreamPage& p = s_.pages.back();
        p.offset = at_;
        note(at_, sizeof kStartPage, "start of page " + std::to_string(s_.pages.size()));
        at_ += sizeof kStartPage;
        while (at_ < size_) {
            if (startsWith(kEndPage, sizeof kEndPage)) {
                note(at_, sizeof kEndPage, "end of page");
                at_ += sizeof kEndPage;
                p.ended = true;
                p.streamBytes = at_ - p.offset;
                return true;
            }
            if (startsWith(kBlankLine, sizeof kBlankLine)) {
                note(at_, sizeof kBlankLine, "blank line, row " + std::to_string(p.rows));
                at_ += sizeof kBlankLine;
                ++p.blankLines;
                ++p.rows;
            } else if (startsWith(kFrameTag, sizeof kFrameTag)) {
                if (!frame(p))
                    return false;
            } else {
                return fault(at_, "unknown command: expected a blank line ESC *B 01 00, a line frame ESC *A 02 "
                                  "or the end of page ESC $B");
            }
        }
        p.streamBytes = at_ - p.offset;
        return fault(at_, "the stream ends inside page " + std::to_string(s_.pages.size()) +
                              ": expected the end of page ESC $B");
    }

    bool frame(StreamPage& p)
    {
        const size_t start = at_;
        if (size_ - at_ < 6)
            return fault(at_, "line frame header is cut short: expected a 16-bit payload length");
        size_t length = le16(data_ + at_ + 4);
        if (size_ - at_ - 6 < length)
            return fault(at_, "line frame payload of " + std::to_string(length) + " bytes runs past the end of the stream");
        StreamLine line{p.rows, {}};
        PayloadFault bad;
        if (!decodePayload(data_ + at_ + 6, length, line.bytes, &bad))
            return fault(at_ + 6 + bad.offset, "in line frame at offset " + std::to_string(start) + ": " + bad.what);
        note(start, 6 + length,
             "line frame, row " + std::to_string(p.rows) + ", " + std::to_string(length) + " payload bytes for " +
                 std::to_string(line.bytes.size()) + " line bytes");
        at_ += 6 + length;
        ++p.frames;
        ++p.rows;
        p.payloadBytes += length;
        p.inkWidth = std::max(p.inkWidth, inkWidth(line.bytes));
        if (o_.keepLines && !line.bytes.empty())
            p.lines.push_back(std::move(line));
        return true;
    }

    const uint8_t* data_;
    size_t size_;
    Stream& s_;
    ParseOptions o_;
    size_t at_ = 0;
};

}  // namespace

bool parseStream(const uint8_t* data, size_t size, Stream& stream, ParseOptions options)
{
    stream = Stream{};
    return Parser(data, size, stream, options).run();
}
