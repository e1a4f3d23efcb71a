#pragma once
// The one form in which every height source is handed to the grid and tile builders: the
// callable answers true and sets z where it has a height at the plan point (x, y), and false
// (leaving z alone) where it has none.

#include <functional>

using HeightSampler = std::function<bool(double x, double y, double& z)>;
