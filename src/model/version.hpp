#pragma once

namespace kesta {

constexpr double kVersion = 5.0;
constexpr char kReleaseLetter = ' ';

}  // namespace kesta
