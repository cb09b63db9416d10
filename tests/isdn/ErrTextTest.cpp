#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "isdn/ErrText.h"

namespace {

struct ReasonCase {
    uint16_t reason;
    const char* text;
};

// Every row of the table, the three hang-up values, blank rows, and values
// that no row names (shown as the bare number in lower-case hex).
constexpr ReasonCase kReasonCases[] = {
    {0x0000, "."},
    {0x3301, ""},
    {0x3302, ""},
    {0x3303, ""},
    {0x3304, ""},
    {0x3400, "Aufgelegt"},
    {0x3480, "Aufgelegt"},
    {0x3481, ""},
    {0x3482, "ETSI x82: Ruf kann im Netz nicht vermittelt werden!"},
    {0x3483, "ETSI x83: Teilnehmer nicht bekannt!"},
    {0x3486, "ETSI x86: ISDN Kanal wird nicht unterstützt"},
    {0x3487, "ETSI x87: Ruf wurde angenommen und in vorhandenen Kanal übernommen."},
    {0x3490, "Aufgelegt"},
    {0x3491, "ETSI x91: Teilnehmer besetzt"},
    {0x3492, "ETSI x92: Teilnehmer hebt nicht ab"},
    {0x3493, "ETSI x93: Kein Teilnehmer meldet sich"},
    {0x3495, "ETSI x95: Ruf wurde abgelehnt"},
    {0x3496, "ETSI x96: Rufnummer wurde geändert"},
    {0x349A, "ETSI x9A: Nonselect user clearing"},
    {0x349B, "ETSI x9B: Endgerät der Gegenstelle ist nicht betriebsbereit"},
    {0x349C, "ETSI x9C: Nummernformat falsch"},
    {0x349D, "ETSI x9D: Leistungsmerkmal wird abgelehnt"},
    {0x349E, "ETSI x9E: Antwort auf Status Enquiry"},
    {0x34D8, "ETSI xD8: Gegenstelle ist nicht freigeschaltet"},
    // Neighbours of named rows and other ranges fall to the last row.
    {0x349F, "Capi: 0x349f"},
    {0x3401, "Capi: 0x3401"},
    {0x3484, "Capi: 0x3484"},
    {0x34D9, "Capi: 0x34d9"},
    {0x3300, "Capi: 0x3300"},
    {0x2001, "Capi: 0x2001"},
    {0x0001, "Capi: 0x0001"},
    {0xFFFF, "Capi: 0xffff"},
};

TEST(ErrText, ReasonTexts) {
    const isdn::CErrText texts;
    for (const ReasonCase& c : kReasonCases) {
        EXPECT_EQ(texts.GetReasonText(c.reason), c.text) << std::hex << "reason 0x" << c.reason;
    }
}

}  // namespace
