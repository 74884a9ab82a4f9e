// The verdicts of a log as one bar, each verdict in its colour and its own
// texture (told apart in grey print and without colour), with its code and
// name written beside it.
#include "Internal.h"

#include <array>

namespace yol::webreport::detail {

void VerdictPatterns(Html& h) {
    // Each verdict has a colour and a texture; the textures tell them apart in grey print
    // and for readers who cannot tell the colours apart.
    static constexpr std::array<std::string_view, kVerdictCount> kMarks{
        "",                                                                     // OK: solid
        "<path d=\"M-2,2l4,-4M0,8l8,-8M6,10l4,-4\" stroke=\"#fff\" stroke-width=\"1.5\"/>",  // EXCHANGE
        "<path d=\"M0,0l8,8M8,0l-8,8\" stroke=\"#fff\" stroke-width=\"1.2\"/>",           // BUSTED
        "<circle cx=\"4\" cy=\"4\" r=\"1.7\" fill=\"#fff\"/>",                           // NIL
        "<path d=\"M0,4h8\" stroke=\"#000\" stroke-width=\"1\"/>",                        // UNIQUE
        "<path d=\"M4,0v8\" stroke=\"#000\" stroke-width=\"1\"/>",                        // NOLOG
        "<path d=\"M-2,6l4,4M0,0l8,8M6,-2l4,4\" stroke=\"#000\" stroke-width=\"1\"/>",    // DUPE
        "<path d=\"M0,4h8M4,0v8\" stroke=\"#fff\" stroke-width=\"1\"/>",                  // PERIOD
        "<circle cx=\"2\" cy=\"2\" r=\"1\" fill=\"#fff\"/><circle cx=\"6\" cy=\"6\" r=\"1\" fill=\"#fff\"/>",  // INVALID
        "<path d=\"M-2,6l4,4M0,0l8,8M6,-2l4,4\" stroke=\"#000\" stroke-width=\"1.5\"/>",  // PARTNER
        "<circle cx=\"4\" cy=\"4\" r=\"1.5\" fill=\"#000\"/>",                           // CHECKLOG
    };
    h << "<svg class=\"defs\" width=\"0\" height=\"0\" aria-hidden=\"true\" focusable=\"false\"><defs>";
    for (int i = 0; i < kVerdictCount; ++i) {
        const auto v = static_cast<Verdict>(i);
        h << "<pattern id=\"vp-" << VerdictCode(v)
          << "\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\"><rect width=\"8\" height=\"8\" fill=\""
          << VerdictColour(v) << "\"/>" << kMarks[static_cast<std::size_t>(i)] << "</pattern>";
    }
    h << "</defs></svg>";
}

void VerdictSwatch(Html& h, Verdict v) {
    h << "<svg class=\"sw\" width=\"16\" height=\"16\" viewBox=\"0 0 16 16\" aria-hidden=\"true\" focusable=\"false\"><rect x=\"0.5\" y=\"0.5\" width=\"15\" height=\"15\" fill=\"url(#vp-"
      << VerdictCode(v) << ")\" stroke=\"#333\"/></svg>";
}

void VerdictBar(Html& h, const LogReport& r) {
    if (r.contacts.empty()) return NoContacts(h);
    std::array<std::int64_t, kVerdictCount> counts{};
    for (const auto& c : r.contacts) ++counts[static_cast<std::size_t>(c.verdict)];
    const double total = static_cast<double>(r.contacts.size());
    std::string desc = "Verdicts of " + std::to_string(r.contacts.size()) + " contacts:";
    bool first = true;
    for (int i = 0; i < kVerdictCount; ++i) {
        if (!counts[static_cast<std::size_t>(i)]) continue;
        char pct[32];
        std::snprintf(pct, sizeof pct, "%.1f", 100.0 * static_cast<double>(counts[static_cast<std::size_t>(i)]) / total);
        desc += std::string(first ? " " : "; ") + std::string(VerdictCode(static_cast<Verdict>(i))) + " (" +
                std::string(VerdictLabel(static_cast<Verdict>(i))) + ") " + std::to_string(counts[static_cast<std::size_t>(i)]) +
                ", " + pct + "%";
        first = false;
    }
    desc += '.';
    // Small shares get a visible sliver; the others share what is left.
    constexpr double kMin = 3;
    double small = 0, bigCount = 0;
    for (auto n : counts) {
        if (!n) continue;
        if (kPlotW * static_cast<double>(n) / total < kMin) small += kMin;
        else bigCount += static_cast<double>(n);
    }
    const double perContact = bigCount > 0 ? (kPlotW - small) / bigCount : 0;
    OpenSvg(h, "verdicts", "verdicts", 40, "");
    h << " data-total=\"";
    h.Int(static_cast<std::int64_t>(r.contacts.size())) << "\">";
    TitleDesc(h, "verdicts", "Verdicts", desc);
    double x = kLeft;
    for (int i = 0; i < kVerdictCount; ++i) {
        const auto n = counts[static_cast<std::size_t>(i)];
        if (!n) continue;
        const auto v = static_cast<Verdict>(i);
        const double w = kPlotW * static_cast<double>(n) / total < kMin ? kMin : perContact * static_cast<double>(n);
        h << "<g class=\"seg\" data-verdict=\"" << VerdictCode(v) << "\" data-count=\"";
        h.Int(n) << "\"><title>" << VerdictCode(v) << ", " << VerdictLabel(v) << ": ";
        h.Int(n) << "</title><rect x=\"" << Num(x) << "\" y=\"4\" width=\"" << Num(w)
                 << "\" height=\"32\" fill=\"url(#vp-" << VerdictCode(v) << ")\" stroke=\"#fff\" stroke-width=\"1\"/></g>";
        x += w;
    }
    h << "<text x=\"" << Num(kLeft - 6) << "\" y=\"25\" font-size=\"12\" text-anchor=\"end\">all</text></svg>";
    // The key, as text: each verdict's name, count and share beside its swatch.
    h << "<ul class=\"key\">";
    for (int i = 0; i < kVerdictCount; ++i) {
        const auto n = counts[static_cast<std::size_t>(i)];
        if (!n) continue;
        const auto v = static_cast<Verdict>(i);
        h << "<li>";
        VerdictSwatch(h, v);
        h << " <b>" << VerdictCode(v) << "</b> " << VerdictLabel(v) << ": ";
        h.Int(n) << " (";
        h.Fixed(100.0 * static_cast<double>(n) / total, 1) << "%)</li>";
    }
    h << "</ul>";
}

}  // namespace yol::webreport::detail
