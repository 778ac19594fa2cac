#!/usr/bin/env python3
"""Plants real faults into a copy of the committed tree, one at a time, and runs the whole test
suite (but the signed build) against each: a suite that misses a planted fault has lost the power
to find it. Prints which tests caught each fault; exit status 1 when one was caught by none.
    python3 tools/planted_faults.py [FAULT...]      (all of them by default; about 4 minutes each)
The copy and its build are made in build/planted/tree and removed at the end."""
import pathlib
import re
import shutil
import subprocess
import sys

TOP = pathlib.Path(__file__).resolve().parents[1]
WORK = TOP / 'build' / 'planted'

FORWARD_REPLAY = '''RunStatus ReplayJournal(char *text, DWORD mask)
{
    RunStatus status;
    StatusInit(&status);
    for (char *line = text; line != NULL && *line != '\\0';) {
        char *cr = line;
        while (*cr != '\\0' && *cr != '\\r')
            cr++;
        char ending = *cr;
        *cr = '\\0';
        if (*line != '\\0' && *line != ';')
            StatusMerge(&status, ReplayEvent(line, mask));
        line = ending == '\\0' ? cr : cr + 1 + (cr[1] == '\\n');
    }
    return status;
}
'''

# name, what it breaks, file, text planted over, text planted (None: the function up to its end)
FAULTS = [
    ('journal-order', 'the journal replayed oldest first', 'src/uninstall/journal_replay.cpp',
     'RunStatus ReplayJournal(char *text, DWORD mask)', None),
    ('missing-undo', 'a registry key\'s undo missing', 'src/uninstall/journal_replay.cpp',
     '{ kEventCreateKey, kSecondaryPhase, UndoCreateKey },', '{ kEventCreateKey, kSecondaryPhase, NULL },'),
    ('box-flags', 'the uninstall question without its default No', 'src/uninstall/uninstaller.cpp',
     'MsgBox(MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2, IDYES, "Do you really', 'MsgBox(MB_ICONQUESTION | MB_YESNO, IDYES, "Do you really'),
    ('buffer-short', 'the token reader\'s buffer one byte short', 'src/support/text.cpp',
     '    if (length >= size) {', '    if (length > size) {'),
    ('skipped-save', 'the journal\'s first save skipped', 'src/install/install_product.cpp',
     '    JournalSetFile(path);\n    return SaveJournalStep();', '    JournalSetFile(path);\n    return 0;'),
    ('in-use-32', 'a sharing violation not taken as a file in use', 'src/uninstall/journal_replay.cpp',
     'return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;', 'return error == ERROR_ACCESS_DENIED;'),
]


def plant(text, old, new):
    """The source with the fault planted, or None when the code it plants into has changed."""
    if old not in text:
        return None
    if new is None:   # the whole function: from its head to the first closing brace at the margin
        start = text.index(old)
        return text[:start] + FORWARD_REPLAY + text[text.index('\n}\n', start) + 3:]
    return text.replace(old, new, 1)


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, shell=True, capture_output=True, text=True, errors='replace')


def main():
    wanted = sys.argv[1:] or [fault[0] for fault in FAULTS]
    unknown = set(wanted) - {fault[0] for fault in FAULTS}
    if unknown:
        print('unknown fault: ' + ', '.join(sorted(unknown)) + '; known: ' + ', '.join(f[0] for f in FAULTS))
        return 2
    # One copy of the committed tree, built once; each fault is planted alone and taken out again.
    tree = WORK / 'tree'
    shutil.rmtree(tree, ignore_errors=True)
    tree.mkdir(parents=True)
    run(f'git archive HEAD | tar -x -C "{tree}"', TOP)
    missed = 0
    for name, what, path, old, new in FAULTS:
        if name not in wanted:
            continue
        source = tree / path
        pristine = source.read_text()
        planted = plant(pristine, old, new)
        if planted is None:
            print(f'{name}: the code it plants into has changed; update tools/planted_faults.py')
            missed += 1
            continue
        source.write_text(planted)
        built = run('cmake --preset default && cmake --build --preset default', tree)
        tests = run('ctest --preset default -E signing', tree) if built.returncode == 0 else None
        source.write_text(pristine)
        if tests is None:
            print(f'{name}: does not build: {built.stdout[-400:]}')
            missed += 1
            continue
        caught = re.findall(r'^\s*\d+ - (\w+) \(Failed\)', tests.stdout, re.M)
        print(f'{name} ({what}): caught by ' + (', '.join(caught) if caught else 'NOTHING'), flush=True)
        missed += not caught
    shutil.rmtree(tree, ignore_errors=True)
    return 1 if missed else 0


if __name__ == '__main__':
    sys.exit(main())
