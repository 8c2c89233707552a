#pragma once

namespace kesta {
struct model_state;
struct optim_record;
}  // namespace kesta
