#pragma once

// The codes each adapter library takes for a bit rate in kbit/s; a rate not listed gets the
// "other" row (esd and IXXAT fall back to 1000 kbit/s, Kvaser to 0, which it rejects).
namespace canopen {
struct AdapterRate
{
    int kbit;
    unsigned int esdIndex;
    long kvaserCode;
    unsigned short peakBtr;
    unsigned char ixxatBtr0, ixxatBtr1;
};

inline AdapterRate adapterRate(int kbit)
{
    static const AdapterRate table[] = {
        { 1000, 0, -1, 0x0014, 0x00, 0x14 },
        { 800, 0, 0, 0x0016, 0x00, 0x14 },
        { 500, 2, -2, 0x001C, 0x00, 0x1C },
        { 250, 4, -3, 0x011C, 0x01, 0x1C },
        { 125, 6, -4, 0x031C, 0x03, 0x1C },
        { 100, 7, -5, 0x432F, 0x04, 0x1C },
        { 50, 9, -7, 0x472F, 0x09, 0x1C },
        { 20, 11, 0, 0x532F, 0x18, 0x1C },
        { 10, 13, -9, 0x672F, 0x31, 0x1C },
    };
    for (const AdapterRate &r : table) {
        if (r.kbit == kbit)
            return r;
    }
    return { kbit, 0, 0, 0x0014, 0x00, 0x14 };
}
} // namespace canopen
