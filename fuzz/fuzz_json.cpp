// json_decode on any bytes, and the round trip of what decodes: its encoding
// decodes again, and from the second encoding on the text no longer changes
// (the first may still: 1e-300 encodes as 0.0, which comes back as 0).
#include <string>

#include "fuzz_support.h"
#include "zov_json.h"
#include "zov_var.h"

namespace {

bool decodes(var& top, const std::string& text) {
    return json_decode(top, text.data(), (int)text.size()) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    var top;
    bool ok = json_decode(top, (const char*)data, (int)size) == 0;
    std::string once = json_encode(top); // a partial tree encodes as well
    if (!ok || (top.__type__() != VAR_LIST && top.__type__() != VAR_DICT)) return 0;
    // A number beyond a double's range encodes as "inf", which JSON lacks.
    if (once.find("inf") != std::string::npos || once.find("nan") != std::string::npos) return 0;
    var again;
    if (!decodes(again, once)) fuzz_fail("an encoded document does not decode");
    std::string twice = json_encode(again);
    var third;
    if (!decodes(third, twice) || json_encode(third) != twice)
        fuzz_fail("the second round trip changed the text");
    return 0;
}
