#include "platform/file_names.h"

namespace platform {

bool FileNamesAreCaseSensitive() {
  return true;
}

}  // namespace platform
