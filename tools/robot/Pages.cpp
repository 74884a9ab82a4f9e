#include "Pages.h"

#include <nlohmann/json.hpp>

#include "WebReport.h"
#include "contestlog/Contact.h"
#include "contestlog/Text.h"

namespace yol::robot {
namespace {


// A page under construction: markup as written here, every other text
// through Text() (escaped).
class Page {
public:
    Page& operator<<(std::string_view markup) {
        out_ += markup;
        return *this;
    }
    Page& Text(std::string_view text) {
        webreport::AppendEscaped(out_, text);
        return *this;
    }
    Page& Int(std::int64_t v) { return Text(std::to_string(v)); }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

void Head(Page& p, const PageContext& c, std::string_view title) {
    p << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<link rel=\"stylesheet\" href=\"/robot.css\"><title>";
    p.Text(title).Text(" - ").Text(c.contest).Text(" log robot");
    p << "</title></head><body><header><nav><a href=\"/\">Upload</a> <a href=\"/received\">Logs received</a> "
         "<a href=\"/committee\">Committee</a></nav><p class=\"window\">";
    p.Text(c.contest).Text(" logs: submission ").Text(c.windowText);
    p << "</p></header><main><h1>";
    p.Text(title) << "</h1>";
}

std::string Tail(Page& p) {
    p << "</main></body></html>\n";
    return p.Take();
}

void Findings(Page& p, const Answer& a, const std::vector<Finding>& list, std::string_view cls) {
    p << "<ul class=\"" << cls << "\">";
    for (std::size_t i = 0; i < list.size() && i < kShownFindings; ++i) {
        p << "<li>";
        p.Text(PlaceOf(a, list[i])).Text(list[i].text) << "</li>";
    }
    if (list.size() > kShownFindings) {
        p << "<li>";
        p.Text("and " + std::to_string(list.size() - kShownFindings) + " more") << "</li>";
    }
    p << "</ul>";
}

void Table(Page& p, const std::vector<Submission>& logs, bool committee) {
    p << "<table><thead><tr><th>Call<th>Class<th>Received";
    if (committee) p << "<th>Contacts<th>Claimed<th>Computed<th>Warnings<th>Format<th>SHA-256";
    p << "</tr></thead><tbody>\n";
    for (const Submission& s : logs) {
        p << "<tr><td>";
        if (committee) {
            p << "<a href=\"/committee/log?call=";
            p.Text(s.call) << "\">";
        }
        p.Text(s.call);
        if (committee) p << "</a>";
        p << "<td>";
        p.Text(s.category) << "<td>";
        p.Text(UtcSecondText(s.received));
        if (committee) {
            p << "<td>";
            p.Int(s.contacts) << "<td>";
            p.Text(s.claimed.value_or("")) << "<td>";
            p.Text(s.score ? std::to_string(*s.score) : "") << "<td>";
            p.Int(s.warnings) << "<td>";
            p.Text(s.format) << "<td><code>";
            p.Text(s.sha256) << "</code>";
        }
        p << "\n";
    }
    p << "</tbody></table>";
}

// A form that changes something: POST with the session's token.
void ActionForm(Page& p, std::string_view action, std::string_view csrf, std::string_view field,
                std::string_view value, std::string_view label) {
    p << "<form method=\"post\" action=\"";
    p.Text(action) << "\"><input type=\"hidden\" name=\"csrf\" value=\"";
    p.Text(csrf) << "\">";
    if (!field.empty()) {
        p << "<input type=\"hidden\" name=\"";
        p.Text(field) << "\" value=\"";
        p.Text(value) << "\">";
    }
    p << "<button type=\"submit\">";
    p.Text(label) << "</button></form>";
}

}  // namespace

std::string FormPage(const PageContext& c) {
    Page p;
    Head(p, c, "Submit your log");
    if (!c.windowOpen) {
        p << "<p class=\"refused\">The submission window is closed: logs are no longer accepted.</p>";
        return Tail(p);
    }
    p << "<p>Upload your log (Cabrillo or ADIF) or paste it below. The answer comes at once: accepted "
         "with a receipt, or refused with the reasons by line. Sending again for the same call replaces "
         "the earlier log.</p>"
         "<form method=\"post\" action=\"/upload\" enctype=\"multipart/form-data\">"
         "<p><label for=\"call\">Your call</label> <input id=\"call\" name=\"call\" maxlength=\"20\" "
         "autocomplete=\"off\"></p>"
         "<p><label for=\"log\">Log file</label> <input id=\"log\" type=\"file\" name=\"log\"></p>"
         "<p><label for=\"text\">or the log as text</label><br><textarea id=\"text\" name=\"text\" rows=\"12\" "
         "cols=\"80\"></textarea></p>"
         "<p><button type=\"submit\" id=\"send\">Send the log</button></p></form>"
         "<p>Logging programs: <code>curl -F log=@my.log URL/submit</code> (add <code>-F call=YOURCALL</code>; "
         "<code>?format=json</code> for JSON).</p>";
    return Tail(p);
}

std::string AnswerPage(const PageContext& c, const Answer& a) {
    Page p;
    Head(p, c, a.accepted ? "Log accepted" : "Log refused");
    if (a.accepted) {
        p << "<p class=\"accepted\" id=\"verdict\">Accepted. Keep this receipt.</p><table class=\"facts\">";
        for (const auto& [label, value] : AnswerFacts(a)) {
            p << "<tr><th scope=\"row\">";
            p.Text(label) << "<td>";
            p.Text(value) << "</tr>";
        }
        p << "</table>";
        if (!a.warnings.empty()) {
            p << "<h2>Warnings</h2>";
            Findings(p, a, a.warnings, "warnings");
        }
    } else {
        p << "<p class=\"refused\" id=\"verdict\">Refused. Nothing was kept; correct the log and send it again.</p>"
             "<h2>Reasons</h2>";
        Findings(p, a, a.reasons, "reasons");
    }
    p << "<p><a href=\"/\">Send another log</a></p>";
    return Tail(p);
}

std::string ReceivedPage(const PageContext& c, const std::vector<Submission>& logs) {
    Page p;
    Head(p, c, "Logs received");
    p << "<p id=\"count\">";
    p.Int(static_cast<std::int64_t>(logs.size())).Text(logs.size() == 1 ? " log" : " logs") << " received.</p>";
    Table(p, logs, false);
    return Tail(p);
}

std::string ReceivedJson(const std::vector<Submission>& logs) {
    using nlohmann::json;
    json rows = json::array();
    for (const Submission& s : logs)
        rows.push_back({{"call", s.call}, {"class", s.category}, {"received", UtcSecondText(s.received)}});
    return rows.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string MessagePage(const PageContext& c, std::string_view title, std::string_view text) {
    Page p;
    Head(p, c, title);
    p << "<p>";
    p.Text(text) << "</p>";
    return Tail(p);
}

std::string LoginPage(const PageContext& c, std::string_view message) {
    Page p;
    Head(p, c, "Committee");
    if (!message.empty()) {
        p << "<p class=\"refused\">";
        p.Text(message) << "</p>";
    }
    p << "<form method=\"post\" action=\"/committee/login\"><p><label for=\"token\">Committee token</label> "
         "<input id=\"token\" type=\"password\" name=\"token\" autocomplete=\"off\"></p>"
         "<p><button type=\"submit\" id=\"login\">Log in</button></p></form>";
    return Tail(p);
}

std::string CommitteePage(const PageContext& c, const std::vector<Submission>& logs, std::string_view search,
                          std::string_view csrf, std::string_view windowSetting, std::size_t uploads) {
    Page p;
    Head(p, c, "Committee");
    p << "<p id=\"summary\">";
    p.Int(static_cast<std::int64_t>(logs.size())).Text(" calls shown, ");
    p.Int(static_cast<std::int64_t>(uploads)).Text(" uploads kept in all. Window: ");
    p.Text(windowSetting.empty() ? "by the rules" : std::string("set ") + std::string(windowSetting)) << ".</p>";
    p << "<form method=\"get\" action=\"/committee\"><label for=\"q\">Call contains</label> "
         "<input id=\"q\" name=\"q\" value=\"";
    p.Text(search) << "\"> <button type=\"submit\">Search</button></form>";
    p << "<p><a href=\"/committee/set.zip\" id=\"download\">Download the current set (zip, ready for yolcheck)</a></p>"
         "<div class=\"actions\">";
    ActionForm(p, "/committee/window", csrf, "state", "closed", "Close the window");
    ActionForm(p, "/committee/window", csrf, "state", "open", "Open the window");
    ActionForm(p, "/committee/window", csrf, "state", "rules", "Window by the rules");
    ActionForm(p, "/committee/logout", csrf, "", "", "Log out");
    p << "</div>";
    Table(p, logs, true);
    return Tail(p);
}

std::string HistoryPage(const PageContext& c, std::string_view call, const std::vector<Submission>& history) {
    Page p;
    Head(p, c, "History of " + std::string(call));
    p << "<table><thead><tr><th>Received<th>File name<th>Format<th>Contacts<th>Claimed<th>Computed<th>SHA-256"
         "</tr></thead><tbody>\n";
    for (const Submission& s : history) {
        p << "<tr><td>";
        p.Text(UtcSecondText(s.received)) << "<td>";
        p.Text(contestlog::TextAsUtf8(s.fileName)) << "<td>";
        p.Text(s.format) << "<td>";
        p.Int(s.contacts) << "<td>";
        p.Text(s.claimed.value_or("")) << "<td>";
        p.Text(s.score ? std::to_string(*s.score) : "") << "<td><a href=\"/committee/file?sha256=";
        p.Text(s.sha256) << "\"><code>";
        p.Text(s.sha256) << "</code></a>\n";
    }
    p << "</tbody></table>";
    return Tail(p);
}

const std::string_view kStyleSheet =
    "body{font:16px/1.4 sans-serif;margin:0;color:#111;background:#fff}"
    "header{background:#234;color:#fff;padding:.5em 1em}header a{color:#fff;margin-right:1em}"
    "main{padding:0 1em 2em;max-width:70em}table{border-collapse:collapse;margin:1em 0}"
    "td,th{border:1px solid #ccc;padding:.2em .5em;text-align:left;vertical-align:top}"
    ".accepted{color:#064;font-weight:bold}.refused{color:#a00;font-weight:bold}"
    ".actions form{display:inline-block;margin-right:.5em}textarea{width:100%;max-width:60em}"
    "code{font-size:90%;word-break:break-all}\n";

}  // namespace yol::robot
