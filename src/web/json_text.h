// The JSON writer lives in app/json_text.h, shared with the command line's `info --json`.
#pragma once

#include "app/json_text.h"

namespace tarvex::web {
using tarvex::JsonString;
using tarvex::JsonWriter;
}  // namespace tarvex::web
