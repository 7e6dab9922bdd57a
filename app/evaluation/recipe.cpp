#include "evaluation/recipe.h"

#include <cmath>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace halvex {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::pair<ObjectKind, const char*> kKinds[] = {{ObjectKind::Body, "body"},
                                                          {ObjectKind::Uniform, "uniform"},
                                                          {ObjectKind::Insert, "insert"},
                                                          {ObjectKind::Wire, "wire"},
                                                          {ObjectKind::ZObject, "zobject"}};
constexpr int kSide = 512;

// A recipe that can't be used: the reason, as the command says it.
struct RecipeError {
    std::string reason;
};

// The parameters as named in the file, each with its reader and writer.
struct ParameterField {
    const char* name;
    std::function<void(EvaluationParameters&, const Json&)> read;
    std::function<Json(const EvaluationParameters&)> write;
};

double number(const Json& j, const std::string& what) {
    if (!j.is_number()) throw RecipeError{what + " must be a number"};
    const double v = j.get<double>();
    if (!std::isfinite(v)) throw RecipeError{what + " must be a finite number"};
    return v;
}

double positive(const Json& j, const std::string& what) {
    const double v = number(j, what);
    if (!(v > 0)) throw RecipeError{what + " must be above 0"};
    return v;
}

int wholeNumber(const Json& j, const std::string& what, int lowest, int highest) {
    const double v = number(j, what);
    if (v != std::floor(v) || v < lowest || v > highest)
        throw RecipeError{what + " must be a whole number from " + std::to_string(lowest) + " to " +
                          std::to_string(highest)};
    return static_cast<int>(v);
}

// The fields of an object, refusing any not in `known`.
void onlyKnown(const Json& j, const std::set<std::string>& known, const std::string& what) {
    if (!j.is_object()) throw RecipeError{what + " must be a JSON object"};
    for (const auto& [key, value] : j.items())
        if (!known.count(key)) throw RecipeError{what + " has an unknown field \"" + key + "\""};
}

Json taskJson(const DetectabilityTask& t) { return Json{{"diameter_mm", t.diameter}, {"contrast_hu", t.contrast}}; }

const std::vector<ParameterField>& parameterFields() {
    static const std::vector<ParameterField> fields = {
        {"ttf_reach_radii", [](EvaluationParameters& p, const Json& j) { p.ttfReach = positive(j, "ttf_reach_radii"); },
         [](const EvaluationParameters& p) { return Json(p.ttfReach); }},
        {"ttf_tail_widths",
         [](EvaluationParameters& p, const Json& j) { p.ttfTailWidths = positive(j, "ttf_tail_widths"); },
         [](const EvaluationParameters& p) { return Json(p.ttfTailWidths); }},
        {"curve_interval", [](EvaluationParameters& p, const Json& j) { p.curveInterval = positive(j, "curve_interval"); },
         [](const EvaluationParameters& p) { return Json(p.curveInterval); }},
        {"insert_roi_share",
         [](EvaluationParameters& p, const Json& j) { p.insertRoiShare = positive(j, "insert_roi_share"); },
         [](const EvaluationParameters& p) { return Json(p.insertRoiShare); }},
        {"nps_window",
         [](EvaluationParameters& p, const Json& j) {
             if (!j.is_string() || (j != "hann" && j != "trend"))
                 throw RecipeError{"nps_window must be \"hann\" or \"trend\""};
             p.npsWindow = j.get<std::string>();
         },
         [](const EvaluationParameters& p) { return Json(p.npsWindow); }},
        {"wire_radius_factor",
         [](EvaluationParameters& p, const Json& j) { p.wireRadiusFactor = positive(j, "wire_radius_factor"); },
         [](const EvaluationParameters& p) { return Json(p.wireRadiusFactor); }},
        {"wire_min_radius_px",
         [](EvaluationParameters& p, const Json& j) { p.wireMinRadius = wholeNumber(j, "wire_min_radius_px", 2, 100); },
         [](const EvaluationParameters& p) { return Json(p.wireMinRadius); }},
        {"wire_annulus_px",
         [](EvaluationParameters& p, const Json& j) { p.wireAnnulus = wholeNumber(j, "wire_annulus_px", 1, 50); },
         [](const EvaluationParameters& p) { return Json(p.wireAnnulus); }},
        {"ssp_roi_share", [](EvaluationParameters& p, const Json& j) { p.sspRoiShare = positive(j, "ssp_roi_share"); },
         [](const EvaluationParameters& p) { return Json(p.sspRoiShare); }},
        {"bootstrap", [](EvaluationParameters& p, const Json& j) { p.bootstrap = wholeNumber(j, "bootstrap", 0, 100000); },
         [](const EvaluationParameters& p) { return Json(p.bootstrap); }},
        {"seed",
         [](EvaluationParameters& p, const Json& j) {
             if (!j.is_number_unsigned()) throw RecipeError{"seed must be a whole number of 0 or more"};
             p.seed = j.get<uint64_t>();
         },
         [](const EvaluationParameters& p) { return Json(p.seed); }},
        {"tasks",
         [](EvaluationParameters& p, const Json& j) {
             if (!j.is_array()) throw RecipeError{"tasks must be a list"};
             p.tasks.clear();
             for (const Json& t : j) {
                 onlyKnown(t, {"diameter_mm", "contrast_hu"}, "a task");
                 if (!t.contains("diameter_mm") || !t.contains("contrast_hu"))
                     throw RecipeError{"a task needs diameter_mm and contrast_hu"};
                 p.tasks.push_back({positive(t["diameter_mm"], "a task's diameter_mm"),
                                    number(t["contrast_hu"], "a task's contrast_hu")});
             }
         },
         [](const EvaluationParameters& p) {
             Json list = Json::array();
             for (const DetectabilityTask& t : p.tasks) list.push_back(taskJson(t));
             return list;
         }},
        {"npwe",
         [](EvaluationParameters& p, const Json& j) {
             onlyKnown(j, {"viewing_distance_mm", "zoom", "internal_noise"}, "npwe");
             if (j.contains("viewing_distance_mm"))
                 p.npwe.viewingDistance = positive(j["viewing_distance_mm"], "npwe viewing_distance_mm");
             if (j.contains("zoom")) p.npwe.zoom = positive(j["zoom"], "npwe zoom");
             if (j.contains("internal_noise")) {
                 if (!j["internal_noise"].is_boolean()) throw RecipeError{"npwe internal_noise must be true or false"};
                 p.npwe.internalNoise = j["internal_noise"].get<bool>();
             }
         },
         [](const EvaluationParameters& p) {
             return Json{{"viewing_distance_mm", p.npwe.viewingDistance},
                         {"zoom", p.npwe.zoom},
                         {"internal_noise", p.npwe.internalNoise}};
         }},
    };
    return fields;
}

Json objectJson(const FoundObject& o, double pixelMm) {
    Json j{{"id", o.id}, {"kind", kindName(o.kind)}, {"centre_px", {o.cx, o.cy}}, {"radius_px", o.radiusPx},
           {"radius_mm", o.radiusPx * pixelMm}};
    if (o.kind == ObjectKind::Uniform) j["roi_side_px"] = o.roiSide;
    j["contrast_hu"] = o.contrastHu;
    j["cnr"] = o.cnr;
    j["slices"] = {o.firstSlice + 1, o.lastSlice + 1};
    return j;
}

FoundObject objectOf(const Json& j, double pixelMm) {
    const std::string what = j.is_object() && j.contains("id") && j["id"].is_string()
                                 ? "object \"" + j["id"].get<std::string>() + "\""
                                 : "an object";
    onlyKnown(j, {"id", "kind", "centre_px", "radius_px", "radius_mm", "roi_side_px", "contrast_hu", "cnr", "slices"},
              what);
    FoundObject o;
    if (!j.contains("id") || !j["id"].is_string() || j["id"].get<std::string>().empty())
        throw RecipeError{"every object needs an id"};
    o.id = j["id"].get<std::string>();
    if (!j.contains("kind") || !j["kind"].is_string()) throw RecipeError{what + " needs a kind"};
    bool known = false;
    for (const auto& [kind, name] : kKinds)
        if (j["kind"] == name) o.kind = kind, known = true;
    if (!known)
        throw RecipeError{what + " has the unknown kind \"" + j["kind"].get<std::string>() +
                          "\" (body, uniform, insert, wire or zobject)"};
    const Json& centre = j.value("centre_px", Json());
    if (!centre.is_array() || centre.size() != 2) throw RecipeError{what + " needs centre_px: [x, y]"};
    o.cx = number(centre[0], what + " centre_px");
    o.cy = number(centre[1], what + " centre_px");
    if (j.contains("radius_px")) o.radiusPx = positive(j["radius_px"], what + " radius_px");
    else if (j.contains("radius_mm")) o.radiusPx = positive(j["radius_mm"], what + " radius_mm") / pixelMm;
    else if (o.kind != ObjectKind::Uniform) throw RecipeError{what + " needs radius_mm"};
    if (o.kind == ObjectKind::Uniform) {
        if (!j.contains("roi_side_px")) throw RecipeError{what + " needs roi_side_px"};
        o.roiSide = wholeNumber(j["roi_side_px"], what + " roi_side_px", 4, kSide);
        o.radiusPx = o.roiSide / 2.0;
    }
    if (j.contains("contrast_hu")) o.contrastHu = number(j["contrast_hu"], what + " contrast_hu");
    if (j.contains("cnr")) o.cnr = number(j["cnr"], what + " cnr");
    o.firstSlice = 0;
    o.lastSlice = 1 << 30;  // all slices of the range
    if (j.contains("slices")) {
        const Json& s = j["slices"];
        if (!s.is_array() || s.size() != 2) throw RecipeError{what + " slices must be [first, last]"};
        o.firstSlice = wholeNumber(s[0], what + " slices", 1, 1 << 20) - 1;
        o.lastSlice = wholeNumber(s[1], what + " slices", 1, 1 << 20) - 1;
        if (o.lastSlice < o.firstSlice) throw RecipeError{what + " slices must not run backwards"};
    }
    // Everything the measurements read must lie in the slice.
    const double reach = o.kind == ObjectKind::Body ? 0 : o.radiusPx;
    if (o.cx - reach < 0 || o.cy - reach < 0 || o.cx + reach > kSide - 1 || o.cy + reach > kSide - 1)
        throw RecipeError{what + " at (" + std::to_string(o.cx) + ", " + std::to_string(o.cy) +
                          ") px lies outside the 512 x 512 slice"};
    return o;
}

}  // namespace

std::string kindName(ObjectKind kind) {
    for (const auto& [k, name] : kKinds)
        if (k == kind) return name;
    return "";
}

std::string recipeJson(const Recipe& recipe, double pixelMm) {
    Json j;
    j["halvex_version"] = recipe.halvexVersion;
    if (recipe.range) j["range"] = {recipe.range->first, recipe.range->second};
    Json parameters = Json::object();
    for (const ParameterField& f : parameterFields()) parameters[f.name] = f.write(recipe.parameters);
    j["parameters"] = parameters;
    j["objects"] = Json::array();
    for (const FoundObject& o : recipe.objects) j["objects"].push_back(objectJson(o, pixelMm));
    j["inputs"] = Json::array();
    for (const RecipeInput& in : recipe.inputs) j["inputs"].push_back(Json{{"file", in.file}, {"sha256", in.sha256}});
    return j.dump(2) + "\n";
}

std::optional<Recipe> parseRecipe(const std::string& text, double pixelMm, std::string& error) {
    Json j;
    try {
        j = Json::parse(text);
    } catch (const nlohmann::json::parse_error& e) {
        error = std::string("it is not JSON (") + e.what() + ")";
        return std::nullopt;
    }
    try {
        onlyKnown(j, {"halvex_version", "range", "parameters", "objects", "inputs"}, "the recipe");
        Recipe r;
        if (j.contains("halvex_version")) {
            if (!j["halvex_version"].is_string()) throw RecipeError{"halvex_version must be text"};
            r.halvexVersion = j["halvex_version"].get<std::string>();
        }
        if (j.contains("range")) {
            const Json& range = j["range"];
            if (!range.is_array() || range.size() != 2) throw RecipeError{"range must be [first, last]"};
            r.range = std::pair{wholeNumber(range[0], "range", 1, 1 << 20), wholeNumber(range[1], "range", 1, 1 << 20)};
            if (r.range->second < r.range->first) throw RecipeError{"range must not run backwards"};
        }
        if (j.contains("parameters")) {
            const Json& parameters = j["parameters"];
            if (!parameters.is_object()) throw RecipeError{"parameters must be a JSON object"};
            for (const auto& [key, value] : parameters.items()) {
                const ParameterField* field = nullptr;
                for (const ParameterField& f : parameterFields())
                    if (key == f.name) field = &f;
                if (!field) throw RecipeError{"unknown parameter \"" + key + "\""};
                field->read(r.parameters, value);
            }
        }
        if (j.contains("objects")) {
            if (!j["objects"].is_array()) throw RecipeError{"objects must be a list"};
            std::set<std::string> ids;
            for (const Json& o : j["objects"]) {
                r.objects.push_back(objectOf(o, pixelMm));
                if (!ids.insert(r.objects.back().id).second)
                    throw RecipeError{"the id \"" + r.objects.back().id + "\" is given twice"};
            }
        }
        if (j.contains("inputs")) {
            if (!j["inputs"].is_array()) throw RecipeError{"inputs must be a list"};
            for (const Json& in : j["inputs"]) {
                onlyKnown(in, {"file", "sha256"}, "an input");
                if (!in.contains("file") || !in["file"].is_string() || !in.contains("sha256") || !in["sha256"].is_string())
                    throw RecipeError{"an input needs file and sha256 as text"};
                r.inputs.push_back({in["file"].get<std::string>(), in["sha256"].get<std::string>()});
            }
        }
        return r;
    } catch (const RecipeError& e) {
        error = e.reason;
        return std::nullopt;
    }
}

}  // namespace halvex
