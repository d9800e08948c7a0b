#include "platform/file_names.h"

namespace platform {

bool FileNamesAreCaseSensitive() {
  return false;
}

}  // namespace platform
