// Whether the tests were built with AddressSanitizer, under which a run
// takes several times as long: the tests whose projects are slow take fewer
// seeds, or leave a long run to the plain build.
#pragma once

namespace kesta_test {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
#else
constexpr bool kSanitizedBuild = false;
#endif

}  // namespace kesta_test
