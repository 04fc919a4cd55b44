// The convert stage: the points of a batch to X, Y, Z.
#pragma once

#include "record_group.h"

namespace geocart {

// Converts the batch's points (conversion.h) with the degree-to-radian
// factor `factor` into its X, Y, Z.
void convertPoints(GroupBatch& batch, double factor) noexcept;

}  // namespace geocart
