#include "camcap/CaptureMode.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace {

constexpr int kPreferredWidth = 640;
constexpr int kPreferredHeight = 480;
constexpr int kLargestWidth = 1280;
constexpr int kLargestHeight = 720;
constexpr int kPreferredFps = 30;
constexpr int kLowestSmoothFps = 15;

struct Fraction {
    int Numerator = 0;
    int Denominator = 1;
    double Value() const { return Denominator != 0 ? double(Numerator) / Denominator : 0.0; }
};

std::optional<CaptureEncoding> EncodingOf(const GstStructure* s) {
    if (gst_structure_has_name(s, "video/x-h264")) return CaptureEncoding::H264;
    if (gst_structure_has_name(s, "image/jpeg")) return CaptureEncoding::Mjpeg;
    if (gst_structure_has_name(s, "video/x-raw")) return CaptureEncoding::Raw;
    return std::nullopt;
}

// The values of an int field worth trying: each listed value, or from a range the
// value closest to the preferred one.
std::vector<int> IntCandidates(const GstStructure* s, const char* field, int preferred) {
    std::vector<int> values;
    const GValue* v = gst_structure_get_value(s, field);
    if (v == nullptr) return values;
    if (G_VALUE_HOLDS_INT(v)) {
        values.push_back(g_value_get_int(v));
    } else if (GST_VALUE_HOLDS_INT_RANGE(v)) {
        values.push_back(
            std::clamp(preferred, gst_value_get_int_range_min(v), gst_value_get_int_range_max(v)));
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (G_VALUE_HOLDS_INT(item)) values.push_back(g_value_get_int(item));
        }
    }
    return values;
}

std::vector<Fraction> FpsCandidates(const GstStructure* s) {
    std::vector<Fraction> values;
    const GValue* v = gst_structure_get_value(s, "framerate");
    if (v == nullptr) {
        values.push_back(Fraction{0, 1});  // the device does not say
        return values;
    }
    if (GST_VALUE_HOLDS_FRACTION(v)) {
        values.push_back(
            {gst_value_get_fraction_numerator(v), gst_value_get_fraction_denominator(v)});
    } else if (GST_VALUE_HOLDS_FRACTION_RANGE(v)) {
        const GValue* lo = gst_value_get_fraction_range_min(v);
        const GValue* hi = gst_value_get_fraction_range_max(v);
        const Fraction low{gst_value_get_fraction_numerator(lo),
                           gst_value_get_fraction_denominator(lo)};
        const Fraction high{gst_value_get_fraction_numerator(hi),
                            gst_value_get_fraction_denominator(hi)};
        if (high.Value() < kPreferredFps) {
            values.push_back(high);
        } else if (low.Value() > kPreferredFps) {
            values.push_back(low);
        } else {
            values.push_back({kPreferredFps, 1});
        }
    } else if (GST_VALUE_HOLDS_LIST(v)) {
        for (guint i = 0; i < gst_value_list_get_size(v); ++i) {
            const GValue* item = gst_value_list_get_value(v, i);
            if (GST_VALUE_HOLDS_FRACTION(item)) {
                values.push_back({gst_value_get_fraction_numerator(item),
                                  gst_value_get_fraction_denominator(item)});
            }
        }
    }
    return values;
}

// Larger is better, compared field by field.
struct Score {
    bool Fits = false;
    bool Smooth = false;
    int EncodingRank = 0;
    long SizeDistance = 0;   // smaller is better
    double FpsDistance = 0;  // smaller is better

    bool BetterThan(const Score& o) const {
        if (Fits != o.Fits) return Fits;
        if (Smooth != o.Smooth) return Smooth;
        if (EncodingRank != o.EncodingRank) return EncodingRank > o.EncodingRank;
        if (SizeDistance != o.SizeDistance) return SizeDistance < o.SizeDistance;
        return FpsDistance < o.FpsDistance;
    }
};

Score ScoreOf(CaptureEncoding encoding, int width, int height, const Fraction& fps) {
    Score score;
    score.Fits = width <= kLargestWidth && height <= kLargestHeight;
    // A rate the device does not state is taken as good enough.
    score.Smooth = fps.Numerator == 0 || fps.Value() >= kLowestSmoothFps;
    score.EncodingRank = encoding == CaptureEncoding::H264    ? 2
                         : encoding == CaptureEncoding::Mjpeg ? 1
                                                              : 0;
    score.SizeDistance = std::labs(long(width) * height - long(kPreferredWidth) * kPreferredHeight);
    // Rates above the preferred one cost bandwidth and CPU for nothing: a slight penalty.
    const double fpsValue = fps.Value();
    score.FpsDistance =
        fpsValue <= kPreferredFps ? kPreferredFps - fpsValue : fpsValue - kPreferredFps + 0.5;
    return score;
}

}  // namespace

int CaptureMode::FrameRate() const {
    if (FpsDenominator <= 0) return 0;
    return (FpsNumerator + FpsDenominator / 2) / FpsDenominator;
}

std::string CaptureModeText(const CaptureMode& mode) {
    std::string text = mode.Encoding == CaptureEncoding::H264    ? "H.264"
                       : mode.Encoding == CaptureEncoding::Mjpeg ? "MJPEG"
                       : mode.RawFormat.empty()                  ? "raw"
                                                                 : mode.RawFormat;
    text += " " + std::to_string(mode.Width) + "x" + std::to_string(mode.Height) + "@" +
            std::to_string(mode.FrameRate());
    return text;
}

std::vector<CaptureMode> RankCaptureModes(const GstCaps* offered) {
    std::vector<std::pair<Score, CaptureMode>> scored;
    if (offered == nullptr || gst_caps_is_any(offered)) return {};
    for (guint i = 0; i < gst_caps_get_size(offered); ++i) {
        const GstStructure* s = gst_caps_get_structure(offered, i);
        GstCapsFeatures* features = gst_caps_get_features(offered, i);
        // Only frames in plain memory; DMA buffers and the like need other elements.
        if (features != nullptr && !gst_caps_features_is_any(features) &&
            !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY)) {
            continue;
        }
        const std::optional<CaptureEncoding> encoding = EncodingOf(s);
        if (!encoding) continue;
        const char* rawFormat = gst_structure_get_string(s, "format");
        for (int width : IntCandidates(s, "width", kPreferredWidth)) {
            for (int height : IntCandidates(s, "height", kPreferredHeight)) {
                if (width <= 0 || height <= 0) continue;
                for (const Fraction& fps : FpsCandidates(s)) {
                    if (fps.Numerator < 0 || fps.Denominator <= 0) continue;
                    CaptureMode mode;
                    mode.Encoding = *encoding;
                    mode.Width = width;
                    mode.Height = height;
                    mode.FpsNumerator = fps.Numerator;
                    mode.FpsDenominator = fps.Denominator;
                    if (*encoding == CaptureEncoding::Raw && rawFormat != nullptr) {
                        mode.RawFormat = rawFormat;
                    }
                    scored.emplace_back(ScoreOf(*encoding, width, height, fps), std::move(mode));
                }
            }
        }
    }
    // Stable: of two equally good modes the device's own order decides.
    std::stable_sort(scored.begin(), scored.end(),
                     [](const auto& a, const auto& b) { return a.first.BetterThan(b.first); });
    std::vector<CaptureMode> ranked;
    for (auto& entry : scored) {
        if (std::find(ranked.begin(), ranked.end(), entry.second) == ranked.end()) {
            ranked.push_back(std::move(entry.second));
        }
    }
    return ranked;
}

bool ChooseCaptureMode(const GstCaps* offered, CaptureMode& mode) {
    std::vector<CaptureMode> ranked = RankCaptureModes(offered);
    if (ranked.empty()) return false;
    mode = std::move(ranked.front());
    return true;
}

GstCaps* NewCaptureModeCaps(const CaptureMode& mode) {
    const char* name = mode.Encoding == CaptureEncoding::H264    ? "video/x-h264"
                       : mode.Encoding == CaptureEncoding::Mjpeg ? "image/jpeg"
                                                                 : "video/x-raw";
    GstCaps* caps = gst_caps_new_simple(name, "width", G_TYPE_INT, mode.Width, "height", G_TYPE_INT,
                                        mode.Height, nullptr);
    if (mode.FpsNumerator > 0) {
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, mode.FpsNumerator,
                            mode.FpsDenominator, nullptr);
    }
    if (mode.Encoding == CaptureEncoding::Raw && !mode.RawFormat.empty()) {
        gst_caps_set_simple(caps, "format", G_TYPE_STRING, mode.RawFormat.c_str(), nullptr);
    }
    return caps;
}
