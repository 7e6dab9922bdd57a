// The recipe of an evaluation: every placement and method parameter a rerun
// needs, with the program's version and each input file's SHA-256, kept as
// JSON (recipe.json). Read back, it replaces the object finding, so that the
// positions found on one series (a high dose) measure another (a low dose),
// or placements written by hand measure any phantom.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "evaluation/evaluation.h"

namespace halvex {

struct RecipeInput {
    std::string file;    // name within the series
    std::string sha256;  // lower-case hex
};

struct Recipe {
    std::string halvexVersion;
    std::optional<std::pair<int, int>> range;  // 1-based slices in position order, inclusive
    EvaluationParameters parameters;
    std::vector<FoundObject> objects;  // radii in pixels
    std::vector<RecipeInput> inputs;
};

// The recipe as JSON text; radii are written in pixels and in mm.
std::string recipeJson(const Recipe& recipe, double pixelMm);

// The recipe in `text`. A text that is not JSON, an unknown field, kind or
// parameter, or a value of the wrong type gives the one-line reason in
// `error` and nothing. Radii given only in mm are turned into pixels with
// `pixelMm`; every placement must lie inside the 512 x 512 slice.
std::optional<Recipe> parseRecipe(const std::string& text, double pixelMm, std::string& error);

// The JSON names of the object kinds ("insert", "wire", "uniform", "body", "zobject").
std::string kindName(ObjectKind kind);

}  // namespace halvex
