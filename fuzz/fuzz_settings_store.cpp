// The settings store's file reader: any bytes either read as a store or as
// corrupt, and a store read back from its own serialisation is the same.
#include "FuzzCommon.h"
#include "settings/FileRegistryBackend.h"

namespace {

bool Same(const FileRegistryBackend::Store& a, const FileRegistryBackend::Store& b)
{
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].path != b[i].path || a[i].values.size() != b[i].values.size()) return false;
        for (qsizetype j = 0; j < a[i].values.size(); ++j)
            if (a[i].values[j].name != b[i].values[j].name || a[i].values[j].data != b[i].values[j].data) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    FileRegistryBackend::Store store;
    if (!FileRegistryBackend::Parse(FuzzBytes(pData, nSize), store)) return 0;
    FileRegistryBackend::Store again;
    FUZZ_CHECK(FileRegistryBackend::Parse(FileRegistryBackend::Serialize(store), again));
    FUZZ_CHECK(Same(store, again));
    return 0;
}
