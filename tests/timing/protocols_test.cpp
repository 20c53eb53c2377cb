// The device line parsers: one table per device family, over lines seen from such devices and
// lines made after the makers' documentation.

#include "timing/Protocols.h"

#include <gtest/gtest.h>

using namespace zalvik::timing;
using Kind = Reading::Kind;
using Channel = Reading::Channel;

namespace {

constexpr long long Tod(int h, int m, int s, int tenThousandths) {
    return ((h * 60LL + m) * 60 + s) * 10000 + tenThousandths;
}

struct Case {
    const char* line = "";
    Kind kind = Kind::Ignored;
    int bib = 0;
    Channel channel = Channel::None;
    bool manual = false;
    long long timeOfDay = -1;
    int day = -1;
    int hundredths = -1;
};

void Check(Device device, const Case& c) {
    SCOPED_TRACE(testing::Message()
                 << DeviceName(device).toStdString() << " line [" << c.line << "]");
    const Reading r = ParseLine(device, QByteArrayView(c.line));
    EXPECT_EQ(r.kind, c.kind) << r.why.toStdString();
    if (c.kind == Kind::Unreadable) {
        EXPECT_FALSE(r.why.isEmpty());
        return;
    }
    EXPECT_EQ(r.bib, c.bib);
    EXPECT_EQ(r.channel, c.channel);
    EXPECT_EQ(r.manual, c.manual);
    EXPECT_EQ(r.timeOfDay, c.timeOfDay);
    EXPECT_EQ(r.day, c.day);
    EXPECT_EQ(r.hundredths, c.hundredths);
}

// A TAG Heuer record with its tab and checksum (the sum of the record's bytes, four hex digits).
std::string Th(const std::string& record) {
    unsigned sum = 0;
    for (unsigned char c : record) sum += c;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", sum & 0xffff);
    return record + "\t" + hex;
}

}  // namespace

TEST(TimingProtocols, AlgeLines) {
    const Case cases[] = {
        // Lines seen from such devices.
        {" 0035 C0  21:46:36.3910 00", Kind::Impulse, 35, Channel::Start, false,
         Tod(21, 46, 36, 3910), -1, -1},
        {"?0034 C1M 21:46:48.3300 00", Kind::Impulse, 0, Channel::Finish, true,
         Tod(21, 46, 48, 3300), -1, -1},
        {"n0034", Kind::Ignored, 34, Channel::None, false, -1, -1, -1},
        {" 0016rRT  00:00:05.22   09", Kind::RunTime, 16, Channel::None, false, -1, -1, 522},
        // After the Timy and TdC manuals: lower-case channels, a comma before the fraction,
        // group and rank after the time, leading zeros left out, every info character.
        {" 0023 c1 15:44:15,7847 00", Kind::Impulse, 23, Channel::Finish, false,
         Tod(15, 44, 15, 7847), -1, -1},
        {"   35 C1  10:00:00.1234 00", Kind::Impulse, 35, Channel::Finish, false,
         Tod(10, 0, 0, 1234), -1, -1},
        // The Timy2's PC-timer output: a colon before the fraction, no group.
        {" 0035 C1M 21:46:36:3910", Kind::Impulse, 35, Channel::Finish, true, Tod(21, 46, 36, 3910),
         -1, -1},
        {"m0009 c0 15:44:00,5499 00", Kind::Impulse, 9, Channel::Start, false, Tod(15, 44, 0, 5499),
         -1, -1},
        {"m 0009 c0 15:44:00,5499 00", Kind::Impulse, 9, Channel::Start, false,
         Tod(15, 44, 0, 5499), -1, -1},
        {"i0023 C1  15:44:15.78 00", Kind::Impulse, 23, Channel::Finish, true,
         Tod(15, 44, 15, 7800), -1, -1},
        {"c0023 c1 15:44:15,7847 00", Kind::Cleared, 23, Channel::Finish, false,
         Tod(15, 44, 15, 7847), -1, -1},
        {"C0011 c0 15:44:01,0366 00", Kind::Cleared, 11, Channel::Start, false, Tod(15, 44, 1, 366),
         -1, -1},
        {"d0012 C1  10:00:00.0000 00", Kind::Cleared, 12, Channel::Finish, false,
         0 + Tod(10, 0, 0, 0), -1, -1},
        {"c0016 RT  00:01:06.86 01", Kind::Cleared, 16, Channel::Finish, false, -1, -1, 6686},
        {" 0015 c0M 15:43:55,6200 00", Kind::Impulse, 15, Channel::Start, true,
         Tod(15, 43, 55, 6200), -1, -1},
        {" 0016 RT  00:01:01.529 00", Kind::RunTime, 16, Channel::None, false, -1, -1, 6152},
        {" 0016 RT  01:01:01.5 00", Kind::RunTime, 16, Channel::None, false, -1, -1, 366150},
        {" 0002 c4 00:01:09.04 00", Kind::Ignored, 2, Channel::None, false, -1, -1, -1},
        {" 0056 TT  00:02:11.13", Kind::Ignored, 56, Channel::None, false, -1, -1, -1},
        {" 0056 SQ  00:01:04.27", Kind::Ignored, 56, Channel::None, false, -1, -1, -1},
        {" 0035 C0  21:46:36.3910 00\r", Kind::Impulse, 35, Channel::Start, false,
         Tod(21, 46, 36, 3910), -1, -1},
        {"", Kind::Ignored, 0, Channel::None, false, -1, -1, -1},
        // What is refused.
        {"x0035 C0  21:46:36.3910 00", Kind::Unreadable},
        {" 00A5 C0  21:46:36.3910 00", Kind::Unreadable},
        {" 0035 C0  25:46:36.3910 00", Kind::Unreadable},
        {" 0035 C0  21:61:36.3910 00", Kind::Unreadable},
        {" 0035 C0  21:46:36. 00", Kind::Unreadable},
        {" 0035 X9  21:46:36.3910 00", Kind::Unreadable},
        {" 0035 C0", Kind::Unreadable},
        {" 00", Kind::Unreadable},
        {"\xff\xfe 0035 C0  21:46:36.3910 00", Kind::Unreadable},
        {" 0035 C0\x01 21:46:36.3910 00", Kind::Unreadable},
    };
    for (const Case& c : cases) Check(Device::Alge, c);
}

TEST(TimingProtocols, TagHeuerLines) {
    // The record and checksum quoted from the protocol's users (channel 5: an intermediate).
    Check(Device::TagHeuer, {"TN 0016 0072 05 12:13:56.7800 12345\t06D9", Kind::Ignored, 16,
                             Channel::None, false, -1, 12345, -1});
    Check(Device::TagHeuer, {"TN 0016 0072 05 12:13:56.7800 12345\t06d9\r", Kind::Ignored, 16,
                             Channel::None, false, -1, 12345, -1});
    Check(Device::TagHeuer, {"TN 0016 0072 05 12:13:56.7800 12345\t06DA", Kind::Unreadable});
    Check(Device::TagHeuer, {"TN 0016 0072 05 12:13:56.7800 12346\t06D9", Kind::Unreadable});
    Check(Device::TagHeuer, {"TN 0016 0072 05 12:13:56.7800 12345", Kind::Unreadable});
    Check(Device::TagHeuer, {"TN 0016 0072 05 12:13:56.7800 12345\t6D9", Kind::Unreadable});
    const struct {
        std::string record;
        Case expected;
    } cases[] = {
        {"TN 0035 0001 1 09:15:02.12345 09474",
         {"", Kind::Impulse, 35, Channel::Start, false, Tod(9, 15, 2, 1234), 9474, -1}},
        {"TN 0035 0002 4 09:16:03.65432 09474",
         {"", Kind::Impulse, 35, Channel::Finish, false, Tod(9, 16, 3, 6543), 9474, -1}},
        {"TN 0035 0003 M4 09:16:03.66 09474",
         {"", Kind::Impulse, 35, Channel::Finish, true, Tod(9, 16, 3, 6600), 9474, -1}},
        {"TN 0035 0004 M1 23:59:59.99999 09474",
         {"", Kind::Impulse, 35, Channel::Start, true, Tod(23, 59, 59, 9999), 9474, -1}},
        {"TN 0000 0005 4 09:17:00.00000 09474",
         {"", Kind::Impulse, 0, Channel::Finish, false, Tod(9, 17, 0, 0), 9474, -1}},
        {"TN 0035 0006 2 09:15:30.00000 09474",
         {"", Kind::Ignored, 35, Channel::None, false, -1, 9474, -1}},
        {"RR 0035 0002 00:01:01.52900",
         {"", Kind::RunTime, 35, Channel::None, false, -1, -1, 6152}},
        {"AK F", {"", Kind::Ignored, 0, Channel::None, false, -1, -1, -1}},
        {"TN 0035 0001 1 24:15:02.12345 09474", {"", Kind::Unreadable}},
        {"TN 00x5 0001 1 09:15:02.12345 09474", {"", Kind::Unreadable}},
        {"TN 0035 0001 X 09:15:02.12345 09474", {"", Kind::Unreadable}},
        {"TN 0035 0001 1", {"", Kind::Unreadable}},
        {"RR 0035 0002", {"", Kind::Unreadable}},
        {"TN 0035 \x80\x81 1 09:15:02.12345 09474", {"", Kind::Unreadable}},
    };
    for (const auto& c : cases) {
        const std::string line = Th(c.record);
        Case expected = c.expected;
        expected.line = line.c_str();
        Check(Device::TagHeuer, expected);
    }
}

TEST(TimingProtocols, GenericLines) {
    const Case cases[] = {
        {"12,61.52", Kind::RunTime, 12, Channel::None, false, -1, -1, 6152},
        {"12;1:01.52", Kind::RunTime, 12, Channel::None, false, -1, -1, 6152},
        {" 7 , 59.999 ", Kind::RunTime, 7, Channel::None, false, -1, -1, 5999},
        {"7,59", Kind::RunTime, 7, Channel::None, false, -1, -1, 5900},
        {"7,1:00:01.5", Kind::RunTime, 7, Channel::None, false, -1, -1, 360150},
        {"１２，１：０１．５２", Kind::RunTime, 12, Channel::None, false, -1, -1, 6152},
        {"１２；６１．５２\r", Kind::RunTime, 12, Channel::None, false, -1, -1, 6152},
        {"0,61.52", Kind::RunTime, 0, Channel::None, false, -1, -1, 6152},
        {"   ", Kind::Ignored, 0, Channel::None, false, -1, -1, -1},
        {"bib,time", Kind::Unreadable},
        {"12 61.52", Kind::Unreadable},
        {"12,abc", Kind::Unreadable},
        {"12,1:75.00", Kind::Unreadable},
        {"12,61.", Kind::Unreadable},
        {"12,", Kind::Unreadable},
        {"12,61.52\xff", Kind::Unreadable},
    };
    for (const Case& c : cases) Check(Device::Generic, c);
}
