// XML property lists, as the option catalogue reads them.
#include "fuzzing.h"
#include "propertylist.h"

VELL_FUZZ_APPLICATION

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    readPropertyList(fuzzInput(data, size));
    return 0;
}
