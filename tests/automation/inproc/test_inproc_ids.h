// Identifiers of the test server library (test_inproc_server.cc), shared
// with the tests that activate its classes.
#pragma once

#include "norwin/automation/guid.h"

namespace norwin::automation::test_inproc {

inline constexpr Guid kCounterClsid = MakeGuid("{6A0C52B1-3D9E-4F27-9B15-2E8C7D40A1F3}");
inline constexpr Guid kRefuserClsid = MakeGuid("{6A0C52B2-3D9E-4F27-9B15-2E8C7D40A1F3}");
inline constexpr Guid kTypeLibrary = MakeGuid("{6A0C52B0-3D9E-4F27-9B15-2E8C7D40A1F3}");
// The refuser raises vbObjectError + this.
inline constexpr int32_t kRefusalCode = 700;

}  // namespace norwin::automation::test_inproc
