// Reply frames as the meter sends them, built independently of the console's code.
#pragma once
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<unsigned char>;

inline Bytes Reply(unsigned char code, const Bytes& data = {})
{
    Bytes f;
    f.reserve(data.size() + 5);
    f.push_back(0x10);
    f.push_back(static_cast<unsigned char>(data.size() + 3));
    f.push_back(code);
    for (unsigned char b : data) f.push_back(b);
    unsigned sum = 0;
    for (unsigned char b : f) sum += b;
    f.push_back(static_cast<unsigned char>(0x100 - (sum & 0xFF)));
    f.push_back(0x01);
    return f;
}

struct RecordSpec {
    int number = 1;
    int year = 21, month = 12, day = 20, hour = 9, minute = 5;
    float values[9] = {-3.5f, -7.25f, -7.25f, -3.5f, 1.5f, 2.5f, 3.5f, 4.5f, 0.125f};
    std::string note = "N";
};

inline Bytes RecordReply(const RecordSpec& r)
{
    Bytes data(59, 0);  // bytes 3 to 61 of the frame
    data[0] = static_cast<unsigned char>(r.year);
    data[1] = static_cast<unsigned char>(r.month);
    data[2] = static_cast<unsigned char>(r.day);
    data[3] = static_cast<unsigned char>(r.hour);
    data[4] = static_cast<unsigned char>(r.minute);
    std::memcpy(&data[5], r.values, 36);
    data[41] = static_cast<unsigned char>(r.note.size());
    std::memcpy(&data[42], r.note.data(), r.note.size() < 16 ? r.note.size() : 16);
    data[58] = static_cast<unsigned char>(r.number);
    return Reply(0x38, data);
}

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace testing_support
