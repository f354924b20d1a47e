#pragma once

#include "host/hx.h"
#include "import/graphs.h"

// Raises NotEnoughInputs unless handler input `index` exists.
void requireInput(int inputCount, int index);

enum class VertexRole { Source, Root, Destination };

// Reads handler input `index` as a 1-based vertex number of a graph with n vertices
// and returns it 0-based. The value is truncated toward zero; anything outside
// 1 <= x < n + 1 (NaN and infinities included) raises NotValidNode with the role's
// message. A missing input raises NotEnoughInputs.
Vertex vertexArgument(const hxArray* inputs[], int inputCount, int index, hxSize n, VertexRole role);
