// MD5 of a byte string, to compare recovered data with the image manifests.
#pragma once

#include "platform/md5.h"

namespace dravik::test {

using platform::Md5;

}  // namespace dravik::test
