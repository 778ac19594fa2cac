#include "report.h"
#include <cstdio>

namespace {

std::string Escaped(const std::string &text)
{
    std::string html;
    for (char c : text) {
        switch (c) {
        case '&': html += "&amp;"; break;
        case '<': html += "&lt;"; break;
        case '>': html += "&gt;"; break;
        case '"': html += "&quot;"; break;
        case '\r': break;
        default: html += c;
        }
    }
    return html;
}

// Line breaks of a box's text as the user sees them.
std::string Lines(const std::string &text)
{
    std::string html = Escaped(text);
    for (size_t at = html.find('\n'); at != std::string::npos; at = html.find('\n', at + 4))
        html.replace(at, 1, "<br>");
    return html;
}

const char kStyle[] =
    "body{font-family:sans-serif;margin:2em;max-width:70em;color:#222}"
    ".verdict{font-size:1.3em;padding:.6em 1em;border-radius:.3em}.passed{background:#d8f0d8}.failed{background:#f6d6d6}"
    "figure{display:flex;gap:1.5em;align-items:flex-start;margin:1em 0;padding:1em;border:1px solid #ccc;border-radius:.3em}"
    "figure img{max-width:40em;border:1px solid #888}figcaption{flex:1}.action{font-weight:bold;margin-top:.6em}"
    ".error{color:#a00}.warning{color:#850}pre{background:#f4f4f4;padding:.8em;overflow-x:auto;font-size:.85em}"
    "table{border-collapse:collapse}td{border-bottom:1px solid #ddd;padding:.2em .6em;vertical-align:top;font-size:.9em}"
    ".purpose{color:#060}.missing{color:#a00;font-weight:bold}";

// Marks a picture that cannot be shown, and counts them on the page (a test reads the count).
const char kPictureCheck[] =
    "<script>window.addEventListener('load',function(){var missing=0;"
    "document.querySelectorAll('img').forEach(function(img){if(!img.complete||img.naturalWidth===0){missing++;"
    "img.insertAdjacentHTML('afterend','<p class=\"missing\">picture missing: '+img.getAttribute('src')+'</p>');}});"
    "document.body.setAttribute('data-missing-pictures',missing);});</script>";

void WriteFindings(FILE *page, const Report &report)
{
    fprintf(page, "<h2>The setup.ini checker</h2>\n<ul>\n");
    for (const Finding &finding : report.findings)
        fprintf(page, "<li class=\"%s\">%s</li>\n", finding.error ? "error" : "warning", Escaped(FindingText(finding)).c_str());
    fprintf(page, "</ul><p>%s</p>\n", Escaped(FindingsSummary(report.findings)).c_str());
}

void WriteWindow(FILE *page, const WindowSeen &seen)
{
    const robot::Window &window = seen.window;
    fprintf(page, "<figure>");
    if (!seen.picture.empty())
        fprintf(page, "<img src=\"%s\" alt=\"%s\">", Escaped(seen.picture).c_str(), Escaped(window.caption).c_str());
    else
        fprintf(page, "<p>(gone before its picture could be taken)</p>");
    fprintf(page, "<figcaption><b>%s</b>", Escaped(window.caption).c_str());
    if (window.isMessageBox) {
        fprintf(page, " &mdash; %s box<p>%s</p><p>", robot::IconName(window.icon), Lines(window.text).c_str());
        for (size_t i = 0; i < window.buttons.size(); i++) {
            bool isDefault = window.buttonIds[i] == window.defaultButton;
            fprintf(page, "%s[%s]%s ", isDefault ? "<u>" : "", Escaped(window.buttons[i]).c_str(), isDefault ? "</u>" : "");
        }
        fprintf(page, "</p>");
    } else {
        fprintf(page, "<ul>");
        for (const robot::Control &control : window.controls)
            if (control.visible && !control.text.empty())
                fprintf(page, "<li>%s: %s</li>", Escaped(control.className).c_str(), Lines(control.text).c_str());
        fprintf(page, "</ul>");
    }
    fprintf(page, "<p class=\"action\">The user %s.</p></figcaption></figure>\n", Escaped(seen.action).c_str());
}

void WriteChanges(FILE *page, const std::vector<Change> &changes, bool judge)
{
    fprintf(page, "<table>\n");
    int shown = 0;
    for (const Change &change : changes) {
        if (IsWineBookkeeping(change.item))
            continue;
        const char *reason = ReasonLeft(change.item);
        std::string detail = ChangeDetail(change);
        fprintf(page, "<tr><td>%c</td><td>%s</td><td>%s</td><td class=\"purpose\">%s</td></tr>\n", change.kind,
                Escaped(change.item).c_str(), Escaped(detail).c_str(),
                judge && reason != NULL ? ("left on purpose: " + Escaped(reason)).c_str() : "");
        shown++;
    }
    fprintf(page, "</table>%s\n", shown == 0 ? "<p>(nothing)</p>" : "");
}

}  // namespace

bool WriteHtmlReport(const Report &report, const std::string &path)
{
    FILE *page = fopen(path.c_str(), "wb");
    if (page == NULL)
        return false;
    fprintf(page, "<!DOCTYPE html>\n<html><head><meta charset=\"windows-1252\"><title>try-install: %s</title><style>%s</style>"
                  "</head>\n<body>\n<h1>try-install: %s</h1>\n<p class=\"verdict %s\">%s</p>\n",
            Escaped(report.product).c_str(), kStyle, Escaped(report.product).c_str(), report.passed ? "passed" : "failed",
            Escaped(report.verdict).c_str());
    if (!report.windowsVersion.empty())
        fprintf(page, "<p>Windows version emulated: %s, for every program started during the runs (setup.exe, its temporary "
                      "copy, the command interpreter, the product's service and driver modules).</p>\n",
                Escaped(report.windowsVersion).c_str());
    WriteFindings(page, report);
    for (const RunSeen &run : report.runs) {
        fprintf(page, "<h2>%s</h2>\n<p><code>%s</code></p>\n", Escaped(run.title).c_str(), Escaped(run.command).c_str());
        for (const WindowSeen &seen : run.windows)
            WriteWindow(page, seen);
        fprintf(page, "<p>%s</p>\n", Escaped(run.ending).c_str());
        if (run.title == "Installation") {
            fprintf(page, "<h3>What the installation added or changed</h3>\n");
            WriteChanges(page, report.installed, false);
            fprintf(page, "<h3>The journal %s</h3>\n<pre>%s</pre>\n", Escaped(report.journalPath).c_str(),
                    report.journal.empty() ? "(none)" : Escaped(report.journal).c_str());
        }
    }
    fprintf(page, "<h2>The trace logs</h2>\n");
    for (const auto &log : report.logs)
        fprintf(page, "<details><summary>%s%s</summary><pre>%s</pre></details>\n", Escaped(log.first).c_str(),
                log.second.deleted ? " (deleted at the end of its run)" : "", Escaped(log.second.text).c_str());
    fprintf(page, "<h2>What is left after the uninstallation</h2>\n<p>Compared with the machine before the installation: "
                  "files and folders of drive C:, registry keys and values under HKLM and HKCU, services.</p>\n");
    WriteChanges(page, report.left, true);
    fprintf(page, "%s\n</body></html>\n", kPictureCheck);
    return fclose(page) == 0;
}
