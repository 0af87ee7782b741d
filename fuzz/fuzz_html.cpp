// The markup scanner on any bytes: a list of dicts, at most one per "<".
#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "zov_html.h"
#include "zov_var.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text((const char*)data, size);
    var tags = html_parse(text);
    if (tags.__type__() != VAR_LIST) fuzz_fail("the result is not a list");
    if (tags.__len__() > std::count(text.begin(), text.end(), '<'))
        fuzz_fail("more tags than \"<\"");
    for (int i = 0; i < tags.__len__(); i++)
        if (tags[i].__type__() != VAR_DICT) fuzz_fail("a tag is not a dict");
    return 0;
}
