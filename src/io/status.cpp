// The reason of a caught exception, for Attempt.
#include "io/status.h"

#include <exception>
#include <new>

#include "i18n/translate.h"

namespace tarvex {

std::string ReasonOfCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return Tr("Not enough memory");
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return Tr("Unknown error");
    }
}

}  // namespace tarvex
