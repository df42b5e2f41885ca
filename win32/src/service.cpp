#include <w32fake.h>

#include "handles.h"

namespace w32fake {
namespace detail {
void ResetService() {}
}  // namespace detail
}  // namespace w32fake
