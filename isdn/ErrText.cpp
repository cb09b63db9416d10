#include "isdn/ErrText.h"

#include <algorithm>
#include <iterator>

#include "platform/Format.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace isdn {
namespace {

struct ReasonRow {
    uint16_t reason;
    unsigned stringId;
};

// 0x33xx are errors of the CAPI layer; 0x34xx carry the network's cause plus
// 0x80 in the low byte. Values without a row are shown as the bare number.
constexpr ReasonRow kReasons[] = {
    {0x3301, res::IDS_REASON_3301},    {0x3302, res::IDS_REASON_3302},
    {0x3303, res::IDS_REASON_3303},    {0x3304, res::IDS_REASON_3304},
    {0x3400, res::IDS_REASON_HUNG_UP}, {0x3480, res::IDS_REASON_HUNG_UP},
    {0x3481, res::IDS_REASON_3481},    {0x3482, res::IDS_REASON_3482},
    {0x3483, res::IDS_REASON_3483},    {0x3486, res::IDS_REASON_3486},
    {0x3487, res::IDS_REASON_3487},    {0x3490, res::IDS_REASON_HUNG_UP},
    {0x3491, res::IDS_REASON_3491},    {0x3492, res::IDS_REASON_3492},
    {0x3493, res::IDS_REASON_3493},    {0x3495, res::IDS_REASON_3495},
    {0x3496, res::IDS_REASON_3496},    {0x349A, res::IDS_REASON_349A},
    {0x349B, res::IDS_REASON_349B},    {0x349C, res::IDS_REASON_349C},
    {0x349D, res::IDS_REASON_349D},    {0x349E, res::IDS_REASON_349E},
    {0x34D8, res::IDS_REASON_34D8},
};

}  // namespace

std::string CErrText::GetReasonText(uint16_t reason) const {
    // No reason at all: the status line still ends in a full stop.
    if (reason == 0) return ".";
    const auto* row = std::find_if(std::begin(kReasons), std::end(kReasons),
                                   [reason](const ReasonRow& r) { return r.reason == reason; });
    if (row != std::end(kReasons)) return res::LoadString(row->stringId);
    return platform::FormatRuntime(res::LoadString(res::IDS_CAPI_REASON).c_str(),
                                   static_cast<unsigned>(reason));
}

}  // namespace isdn
