// The functions the page's worker calls in the WebAssembly module. Memory is handed across as plain
// pointers: the worker copies an image into a buffer it takes with tarvex_alloc, and releases every
// result it is given. One disk model serves all the calls of a worker, one call at a time.
#include <emscripten/emscripten.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "i18n/mo_catalogue.h"
#include "i18n/translate.h"
#include "web/image_report.h"
#include "web/web_conversion.h"
#include "web/web_files.h"

using tarvex::ByteSpan;
using tarvex::TZX_Disk;
using tarvex::web::WebConversion;

namespace {

ByteSpan Span(const uint8_t* data, size_t size) { return ByteSpan(data, data ? size : 0); }

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void* tarvex_alloc(size_t size) { return std::malloc(size ? size : 1); }
EMSCRIPTEN_KEEPALIVE void tarvex_free(void* p) { std::free(p); }

// The messages' language: the bytes of its compiled catalogue (ru.mo); 1 when taken, 0 when not one.
EMSCRIPTEN_KEEPALIVE int tarvex_use_catalogue(const uint8_t* data, size_t size) {
    return tarvex::ActiveCatalogue().Load(Span(data, size)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE TZX_Disk* tarvex_disk_new() { return new TZX_Disk(); }
EMSCRIPTEN_KEEPALIVE void tarvex_disk_delete(TZX_Disk* disk) { delete disk; }

// The target formats, in the order of the format selector; a place without a reader and writer is named "".
EMSCRIPTEN_KEEPALIVE int tarvex_format_count() { return static_cast<int>(tarvex::Formats().size()); }
EMSCRIPTEN_KEEPALIVE const char* tarvex_format_name(int format) {
    const bool present = format >= 0 && format < tarvex_format_count() && tarvex::Formats()[format].Present();
    return present ? tarvex::Formats()[format].name : "";
}

// A format's description in the messages' language ("Universal disk image (*.udi)"); "" past the list.
EMSCRIPTEN_KEEPALIVE const char* tarvex_format_description(int format) {
    static std::string text;
    const bool present = format >= 0 && format < tarvex_format_count() && tarvex::Formats()[format].Present();
    text = present ? tarvex::Tr(tarvex::Formats()[format].description) : "";
    return text.c_str();
}

EMSCRIPTEN_KEEPALIVE WebConversion* tarvex_convert(TZX_Disk* disk, const char* name, const uint8_t* data, size_t size,
                                                   int format, int compress, int salvage) {
    return new WebConversion(
        tarvex::web::ConvertImageBytes(*disk, name, Span(data, size), format, compress != 0, salvage != 0));
}
EMSCRIPTEN_KEEPALIVE const char* tarvex_conversion_result(const WebConversion* c) { return c->result.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* tarvex_conversion_reason(const WebConversion* c) { return c->reason.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* tarvex_conversion_losses(const WebConversion* c) { return c->losses.c_str(); }
EMSCRIPTEN_KEEPALIVE const char* tarvex_conversion_output_name(const WebConversion* c) {
    return c->outputName.c_str();
}
EMSCRIPTEN_KEEPALIVE const uint8_t* tarvex_conversion_output(const WebConversion* c) { return c->output.data(); }
EMSCRIPTEN_KEEPALIVE size_t tarvex_conversion_output_size(const WebConversion* c) { return c->output.size(); }
EMSCRIPTEN_KEEPALIVE void tarvex_conversion_delete(WebConversion* c) { delete c; }

// The file at catalogue position `index` of the image as a Hobeta file, read with the conversion's getters.
EMSCRIPTEN_KEEPALIVE WebConversion* tarvex_extract_file(TZX_Disk* disk, const char* name, const uint8_t* data,
                                                        size_t size, int index) {
    return new WebConversion(
        tarvex::web::ExtractFileBytes(*disk, name, Span(data, size), index < 0 ? ~0u : static_cast<unsigned>(index)));
}

// The image with a Hobeta (or plain) file added, in its own format, read with the conversion's getters.
EMSCRIPTEN_KEEPALIVE WebConversion* tarvex_add_file(TZX_Disk* disk, const char* name, const uint8_t* data, size_t size,
                                                    const char* fileName, const uint8_t* fileData, size_t fileSize) {
    return new WebConversion(
        tarvex::web::AddFileBytes(*disk, name, Span(data, size), fileName, Span(fileData, fileSize)));
}

// A NUL-terminated JSON text, released with tarvex_free.
EMSCRIPTEN_KEEPALIVE char* tarvex_describe(TZX_Disk* disk, const char* name, const uint8_t* data, size_t size) {
    const std::string json = tarvex::web::DescribeImageJson(*disk, name, Span(data, size));
    char* text = static_cast<char*>(std::malloc(json.size() + 1));
    if (text) std::memcpy(text, json.c_str(), json.size() + 1);
    return text;
}

}  // extern "C"
