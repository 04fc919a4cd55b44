// The convert stage: each point through the one conversion, whose sine and
// cosine are the same bits everywhere. A batch of finite values needs no
// test for a NaN (convertFinite).
#include "convert_stage.h"

#include "conversion.h"

namespace geocart {

[[gnu::flatten]] void convertPoints(GroupBatch& batch, double factor) noexcept {
  const std::size_t n = batch.count;
  if (batch.finite) {
    for (std::size_t i = 0; i < n; ++i) {
      const CartesianPoint c = convertFinite(
          GeodeticPoint{batch.latitude[i], batch.longitude[i], batch.height[i]}, factor);
      batch.x[i] = c.x;
      batch.y[i] = c.y;
      batch.z[i] = c.z;
    }
    return;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const CartesianPoint c =
        convert(GeodeticPoint{batch.latitude[i], batch.longitude[i], batch.height[i]}, factor);
    batch.x[i] = c.x;
    batch.y[i] = c.y;
    batch.z[i] = c.z;
  }
}

}  // namespace geocart
