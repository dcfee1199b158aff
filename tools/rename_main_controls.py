#!/usr/bin/env python3
"""Gives the main window's controls (struct MainControls) C++ member names
that say what each control is.

The controls keep their object names ("txtTicker", ...): users' settings and
the tests find them by those, so string literals are never touched. Only the
C++ members change:

* in src/app/ui/main_controls.{h,cpp}, every whole identifier outside string
  literals and comments;
* in every other C++ file under src/ and tests/, only member accesses through
  something known to be a MainControls: a variable, parameter or member
  declared with that type (in the file itself or in a project header it
  includes), e.g. `c.txtTicker`, `m_c.txtTicker`, `m_ui->txtTicker`,
  `(*m_ui).txtTicker`, or a function returning one, e.g. `controls().txtTicker`.
  Fields of other classes with the same names (frmOptions, frmView, the
  tests' TestWindow, ...) are left alone.

Running it again changes nothing. It prints each file it changed.

    python3 tools/rename_main_controls.py [ROOT]   # ROOT: the checkout, default: this script's parent
    python3 tools/rename_main_controls.py --check  # only list what would change; exit 1 if anything would

The renamed lines (only those) are then re-laid out with clang-format and the
checkout's .clang-format, when both are there, since the new names have other
lengths; --no-format skips that.
"""

import difflib
import os
import re
import shutil
import subprocess
import sys

RENAMES = {
    # List column
    "Label1": "tickerLabel",
    "txtTicker": "tickerEdit",
    "cmdAdd": "addButton",
    "cmdDelete": "deleteButton",
    "DBGrid1": "tickerGrid",
    "chkSingleStock": "singleStockBox",
    # Download directory
    "Frame1": "directoryFrame",
    "txtDownloadDir": "downloadDirEdit",
    "cmdBrowse": "browseButton",
    # Dates and period
    "Frame2": "datesFrame",
    "Label2": "startDateLabel",
    "Label3": "endDateLabel",
    "cbxStartMonth": "startMonthBox",
    "cbxStartDay": "startDayBox",
    "cbxStartYear": "startYearBox",
    "cbxEndMonth": "endMonthBox",
    "cbxEndDay": "endDayBox",
    "cbxEndYear": "endYearBox",
    "optDaily": "dailyButton",
    "optWeekly": "weeklyButton",
    "optMonthly": "monthlyButton",
    # The run
    "cmdGetUpdate": "getDataButton",
    "Label4": "progressLabel",
    "ProgressBar1": "progressBar",
    "tbToolBar": "toolBar",
    "imlIcons": "toolbarIcons",
    "Timer1": "autoDownloadTimer",
    # File menu
    "mnuFile": "fileMenu",
    "mnuCreateNewList": "createListAction",
    "mnuOpenList": "openListAction",
    "mnuImportList": "importListAction",
    "mnuFileBar1": "fileSeparator1",
    "mnuLaunch": "launchAction",
    "mnuFileBar2": "fileSeparator2",
    "mnuFileExit": "exitAction",
    # View menu
    "mnuView": "viewMenu",
    "mnuViewFile": "viewFileAction",
    "mnuViewErrorLog": "viewErrorLogAction",
    "mnuViewChart": "viewChartAction",
    "mnuViewBar1": "viewSeparator1",
    "mnuAnalyzeStock": "analyzeStockAction",
    "mnuViewBar2": "viewSeparator2",
    "mnuViewToolbar": "toolbarAction",
    "mnuViewStatusBar": "statusBarAction",
    "mnuViewBar3": "viewSeparator3",
    "mnuViewOptions": "optionsAction",
    # Help menu
    "mnuHelp": "helpMenu",
    "mnuHelpContents": "helpContentsAction",
    "mnuHelpBar1": "helpSeparator1",
    "mnuHelpAbout": "aboutAction",
}

OWN_FILES = ("src/app/ui/main_controls.h", "src/app/ui/main_controls.cpp")
SCAN_DIRS = ("src", "tests")
CPP_EXTENSIONS = (".h", ".hpp", ".hh", ".cpp", ".cc", ".cxx", ".inl")
TYPE = "MainControls"

OLD_ALT = "|".join(sorted(RENAMES, key=len, reverse=True))

# Declarations that give a name the type MainControls (reference, pointer,
# value or smart pointer): `const MainControls& c`, `MainControls* m_c`,
# `std::unique_ptr<MainControls> m_ui`, `MainControls controls;`.
DECL_RE = re.compile(
    r"\b(?:kestrion::)?" + TYPE + r"\b\s*(?:const\s*)?[&*]*\s*(?:const\s*)?(?:>\s*)?[&*]*\s*(\w+)\s*(?=[;,=){\[]|$)",
    re.M,
)
# Functions returning one: `MainControls& controls()`, `const MainControls& ui() const`.
FUNC_RE = re.compile(r"\b(?:kestrion::)?" + TYPE + r"\b\s*(?:const\s*)?[&*]+\s*(?:\w+::)*(\w+)\s*\(")
# `auto& c = *m_ui;`, `const auto* c = m_ui.get();`, `auto& c = controls();`
ALIAS_RE = re.compile(r"\bauto\s*[&*]*\s*(\w+)\s*=\s*\*?\s*(\w+)\s*(\(\s*\)|\.\s*get\s*\(\s*\))?\s*;")
INCLUDE_RE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
NOT_NAMES = {"const", "override", "final", "operator"}


def split_code(text):
    """Splits C++ text into (is_code, piece) runs; comments, string and
    character literals (raw strings too) are the non-code runs."""
    runs = []
    i, n, start = 0, len(text), 0

    def flush(end, code=True):
        if end > start:
            runs.append((code, text[start:end]))

    while i < n:
        ch = text[i]
        if ch == "/" and text.startswith("//", i):
            flush(i)
            j = i
            while True:  # a backslash at the end of the line continues the comment
                nl = text.find("\n", j)
                if nl < 0:
                    j = n
                    break
                if nl > 0 and text[nl - 1] == "\\":
                    j = nl + 1
                    continue
                j = nl
                break
            runs.append((False, text[i:j]))
            i = start = j
        elif ch == "/" and text.startswith("/*", i):
            flush(i)
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            runs.append((False, text[i:j]))
            i = start = j
        elif ch == '"':
            # Raw string: an R (possibly after an encoding prefix) right before the quote.
            m = re.search(r"(?:u8|u|U|L)?R$", text[max(0, i - 3):i])
            if m and not re.match(r"\w", text[i - len(m.group(0)) - 1:i - len(m.group(0))] or " "):
                close_paren = text.find("(", i)
                delim = text[i + 1:close_paren]
                end = text.find(")" + delim + '"', close_paren)
                j = n if end < 0 else end + len(delim) + 2
            else:
                j = i + 1
                while j < n and text[j] != '"':
                    j += 2 if text[j] == "\\" else 1
                j = min(j + 1, n)
            flush(i)
            runs.append((False, text[i:j]))
            i = start = j
        elif ch == "'":
            # A digit separator (1'000) is not a character literal.
            if i > 0 and re.match(r"[0-9A-Fa-f]", text[i - 1]) and i + 1 < n and re.match(r"[0-9A-Fa-f]", text[i + 1]):
                prev = re.search(r"[\w']+$", text[:i])
                if prev and prev.group(0)[0].isdigit():
                    i += 1
                    continue
            j = i + 1
            while j < n and text[j] != "'" and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            flush(i)
            runs.append((False, text[i:j]))
            i = start = j
        else:
            i += 1
    flush(n)
    return runs


def code_only(text):
    """The text with comments and literals blanked out (same length)."""
    return "".join(p if code else re.sub(r"[^\n]", " ", p) for code, p in split_code(text))


def rewrite_code(text, fn):
    return "".join(fn(p) if code else p for code, p in split_code(text))


ANY_OLD_RE = re.compile(r"\b(" + OLD_ALT + r")\b")


def rename_everything(code):
    return ANY_OLD_RE.sub(lambda m: RENAMES[m.group(1)], code)


def declared_names(text, members_only=False):
    """Variable and function names of type MainControls declared in the text.
    With members_only, parameters are left out: a header's parameter name says
    nothing about the files that include it."""
    code = code_only(text)
    variables, functions = set(), set()
    for m in FUNC_RE.finditer(code):
        if m.group(1) not in NOT_NAMES:
            functions.add(m.group(1))
    for m in DECL_RE.finditer(code):
        name = m.group(1)
        if name in NOT_NAMES or name in functions:
            continue
        # `MainControls& controls()` is a function, caught above.
        after = code[m.end(1):].lstrip()
        if after.startswith("("):
            continue
        if members_only and not after[:1] in (";", "=", "{"):
            continue
        variables.add(name)
    return variables, functions


def add_aliases(code, variables, functions):
    changed = True
    while changed:
        changed = False
        for m in ALIAS_RE.finditer(code):
            alias, source, call = m.group(1), m.group(2), m.group(3)
            known = source in functions if call and "(" in call and "get" not in call else source in variables
            if known and alias not in variables:
                variables.add(alias)
                changed = True


def resolve_include(root, including_file, include):
    candidates = [os.path.join(os.path.dirname(including_file), include)]
    candidates += [os.path.join(root, d, include) for d in SCAN_DIRS]
    candidates += [os.path.join(root, "tests", "gui", include), os.path.join(root, "tests", "unit", include)]
    for c in candidates:
        if os.path.isfile(c):
            return os.path.normpath(c)
    return None


def included_headers(root, path, texts):
    """The project headers the file includes, directly or through others."""
    seen, todo = set(), [path]
    while todo:
        current = todo.pop()
        text = texts.get(current)
        if text is None:
            continue
        for inc in INCLUDE_RE.findall(code_only_includes(text)):
            target = resolve_include(root, current, inc)
            if target and target not in seen and target != path:
                seen.add(target)
                todo.append(target)
    return seen


def qualified_rename(code, variables, functions):
    """Renames `x.old`, `x->old`, `(*x).old` and `f().old` for the known names."""
    subjects = []
    if variables:
        names = "|".join(sorted(map(re.escape, variables), key=len, reverse=True))
        # Not itself a member of something else (`other.c.txtTicker`).
        subjects.append(r"(?<![\w.>])(?<!::)(?:" + names + r")\s*(?:\[[^\]\n]*\]\s*)?")
        subjects.append(r"\(\s*\*\s*(?:" + names + r")\s*\)\s*")
    if functions:
        names = "|".join(sorted(map(re.escape, functions), key=len, reverse=True))
        # May itself be a member call (`w.controls().txtTicker`).
        subjects.append(r"\b(?:" + names + r")\s*\(\s*\)\s*")
    if not subjects:
        return code
    pattern = re.compile(r"((?:" + "|".join(subjects) + r")(?:\.|->)\s*)(" + OLD_ALT + r")\b")
    return pattern.sub(lambda m: m.group(1) + RENAMES[m.group(2)], code)


def format_changed_lines(root, path, old, new):
    tool = shutil.which("clang-format")
    if not tool or not os.path.isfile(os.path.join(root, ".clang-format")):
        return
    matcher = difflib.SequenceMatcher(None, old.splitlines(), new.splitlines(), autojunk=False)
    ranges = [(j1 + 1, j2) for tag, _, _, j1, j2 in matcher.get_opcodes() if tag != "equal" and j2 > j1]
    if not ranges:
        return
    args = [tool, "-i", "--style=file"] + ["--lines=%d:%d" % r for r in ranges] + [path]
    subprocess.run(args, check=True, cwd=root)


def cpp_files(root):
    for d in SCAN_DIRS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, d)):
            dirnames[:] = sorted(x for x in dirnames if not x.startswith("."))
            for f in sorted(filenames):
                if f.endswith(CPP_EXTENSIONS):
                    yield os.path.join(dirpath, f)


def main(argv):
    check = "--check" in argv
    layout = "--no-format" not in argv
    args = [a for a in argv[1:] if not a.startswith("--")]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    own = {os.path.normpath(os.path.join(root, f)) for f in OWN_FILES}
    for f in own:
        if not os.path.isfile(f):
            sys.exit(f"not found: {f}")

    texts = {}
    for path in cpp_files(root):
        with open(path, encoding="utf-8", newline="") as fh:
            texts[path] = fh.read()

    decls = {p: declared_names(t) for p, t in texts.items()}
    members = {p: declared_names(t, members_only=True) for p, t in texts.items()}

    changed = []
    for path, text in texts.items():
        if path in own:
            new = rewrite_code(text, rename_everything)
        else:
            variables, functions = set(decls[path][0]), set(decls[path][1])
            for target in included_headers(root, path, texts):
                # The struct's own header declares no accessors, only functions
                # taking one as a parameter.
                if target in members and target not in own:
                    variables |= members[target][0]
                    functions |= members[target][1]
            if not variables and not functions:
                continue
            add_aliases(code_only(text), variables, functions)
            new = rewrite_code(text, lambda code: qualified_rename(code, variables, functions))
        if new != text:
            changed.append(path)
            if not check:
                with open(path, "w", encoding="utf-8", newline="") as fh:
                    fh.write(new)
                if layout:
                    format_changed_lines(root, path, text, new)

    for path in changed:
        print(os.path.relpath(path, root))
    if check and changed:
        return 1
    return 0


def code_only_includes(text):
    # Include paths are string literals, so read them from the raw text but
    # skip ones inside comments.
    out = []
    for code, piece in split_code(text):
        out.append(piece if code or piece.startswith('"') else re.sub(r"[^\n]", " ", piece))
    return "".join(out)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
