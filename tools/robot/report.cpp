#include "report.h"
#include <cstdio>
#include <cstring>

namespace {

// The page is UTF-8; the texts come in the ANSI code page of the machine the runs saw.
std::string Utf8(const std::string &text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], (int)wide.size()));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &utf8[0], (int)utf8.size(), NULL, NULL));
    return utf8;
}

std::string Escaped(const std::string &ansi)
{
    std::string html, text = Utf8(ansi);
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

// Each finding links to its line of setup.ini, shown below them with the lines numbered.
void WriteFindings(FILE *page, const Report &report)
{
    fprintf(page, "<h2>The setup.ini checker</h2>\n<ul>\n");
    for (const Finding &finding : report.findings) {
        std::string text = Escaped(FindingText(finding));
        if (finding.line != 0)
            fprintf(page, "<li class=\"%s\"><a href=\"#line-%d\">%s</a></li>\n", finding.error ? "error" : "warning", finding.line,
                    text.c_str());
        else
            fprintf(page, "<li class=\"%s\">%s</li>\n", finding.error ? "error" : "warning", text.c_str());
    }
    fprintf(page, "</ul><p>%s</p>\n<details open><summary>setup.ini</summary><pre class=\"script\">", Escaped(FindingsSummary(report.findings)).c_str());
    std::vector<std::string> lines = SplitLines(report.script);
    for (size_t i = 0; i < lines.size(); i++)
        fprintf(page, "<span id=\"line-%d\">%4d  %s</span>\n", (int)i + 1, (int)i + 1, Escaped(lines[i]).c_str());
    fprintf(page, "</pre></details>\n");
}

void WriteInstalledProduct(FILE *page, const InstalledProduct &product)
{
    static const struct { const char *title; std::vector<std::string> InstalledProduct::*lines; } kParts[] = {
        { "The entry in the list of installed programs", &InstalledProduct::entry },
        { "Shortcuts", &InstalledProduct::shortcuts },
        { "Services", &InstalledProduct::services },
        { "Drivers and devices", &InstalledProduct::drivers },
    };
    fprintf(page, "<h2>What the customer ends up with</h2>\n");
    for (const auto &part : kParts) {
        const std::vector<std::string> &lines = product.*part.lines;
        fprintf(page, "<h3>%s</h3>\n%s", part.title, lines.empty() ? "<p>(none)</p>\n" : "<ul>\n");
        for (const std::string &line : lines)
            fprintf(page, "<li>%s</li>\n", Escaped(line).c_str());
        fprintf(page, "%s", lines.empty() ? "" : "</ul>\n");
    }
}

void WriteWindow(FILE *page, const WindowSeen &seen)
{
    const robot::Window &window = seen.window;
    fprintf(page, "<figure>");
    if (!seen.picture.empty())
        fprintf(page, "<img src=\"%s\" alt=\"%s\">", Escaped(seen.picture).c_str(), Escaped(window.caption).c_str());
    else
        fprintf(page, "<p>Window %02d: gone before its picture could be taken</p>", seen.number);
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

InstalledProduct ReadInstalledProduct(const std::vector<Change> &installed, const std::string &journal)
{
    static const char kEntries[] = "key HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
    static const char *const kEntryValues[] = { "DisplayName", "DisplayVersion", "Publisher", "EstimatedSize", "InstallLocation",
                                                "InstallDate", "DisplayIcon", "UninstallString", "QuietUninstallString", "NoModify",
                                                "NoRepair" };
    static const char kDrivers[] = "value HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\";
    InstalledProduct product;
    for (const Change &change : installed) {
        if (change.kind != '+')
            continue;
        const std::string &item = change.item;
        if (item.compare(0, sizeof kEntries - 1, kEntries) == 0 && item.find('\\', sizeof kEntries - 1) == std::string::npos) {
            for (const char *name : kEntryValues) {
                std::string value = RegistryValue(item.substr(4), name);
                if (!value.empty())
                    product.entry.push_back(std::string(name) + ": " + value);
            }
        } else if (item.compare(0, 5, "file ") == 0 && item.size() > 9 && lstrcmpiA(item.substr(item.size() - 4).c_str(), ".lnk") == 0) {
            Shortcut link;
            if (ReadShortcut(item.substr(5), &link))
                product.shortcuts.push_back(item.substr(5) + " -> " + link.target + (link.arguments.empty() ? "" : " (arguments: " +
                                            link.arguments + ")"));
        } else if (item.compare(0, 8, "service ") == 0) {
            std::string name = item.substr(8);
            product.services.push_back(name + ": " + ServiceState(name) + " (" +
                                       RegistryValue("HKLM\\System\\CurrentControlSet\\Services\\" + name, "ImagePath") + ")");
        } else if (_strnicmp(item.c_str(), kDrivers, sizeof kDrivers - 1) == 0) {   // the registry's names ignore case
            product.drivers.push_back(item.substr(sizeof kDrivers - 1) + " = " + ChangeDetail(change));
        }
    }
    for (const std::string &line : SplitLines(journal))
        if (line.compare(0, 14, "InstallDevice ") == 0)
            product.drivers.push_back("device " + line.substr(14));
    return product;
}

void PrintInstalledProduct(const InstalledProduct &product)
{
    const std::pair<const char *, const std::vector<std::string> *> parts[] = {
        { "the entry in the list of installed programs", &product.entry }, { "shortcuts", &product.shortcuts },
        { "services", &product.services }, { "drivers and devices", &product.drivers },
    };
    for (const auto &part : parts) {
        printf("  %s:%s\n", part.first, part.second->empty() ? " (none)" : "");
        for (const std::string &line : *part.second)
            printf("    %s\n", line.c_str());
    }
}

bool WriteHtmlReport(const Report &report, const std::string &path)
{
    FILE *page = fopen(path.c_str(), "wb");
    if (page == NULL)
        return false;
    fprintf(page, "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>try-install: %s</title><style>%s</style>"
                  "</head>\n<body>\n<h1>try-install: %s</h1>\n<p class=\"verdict %s\">%s</p>\n",
            Escaped(report.product).c_str(), kStyle, Escaped(report.product).c_str(), report.passed ? "passed" : "failed",
            Escaped(report.verdict).c_str());
    if (!report.windowsVersion.empty())
        fprintf(page, "<p>Windows version emulated: %s, for every program started during the runs (setup.exe, its temporary "
                      "copy, the command interpreter, the product's service and driver modules).</p>\n",
                Escaped(report.windowsVersion).c_str());
    WriteInstalledProduct(page, report.installedProduct);
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
