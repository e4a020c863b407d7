// Feeds arbitrary bytes to the reader of compiled message catalogues; whatever it accepts must answer
// lookups of the texts it holds, and a refusal must leave no catalogue behind.
#include "i18n/mo_catalogue.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tarvex::MoCatalogue catalogue;
    const bool loaded = catalogue.Load({data, size});
    if (!loaded && !catalogue.Empty()) __builtin_trap();
    // Any text, found or not, is looked up without reading outside the catalogue.
    const std::string_view probe(reinterpret_cast<const char*>(data), size < 32 ? size : 32);
    if (const std::string* found = catalogue.Find(probe); found && found->empty()) __builtin_trap();
    return 0;
}
