#!/usr/bin/env python3
"""Every message setup.exe can show a user (a box's text, a final report's question or paragraph)
is in the authors' reference, docs/setup-ini.md, as the trace log writes it (a line break as a
blank); and every part of it the checker's findings point to is there."""
import pathlib
import re
import sys

TOP = pathlib.Path(__file__).resolve().parents[2]
LITERAL = r'"(?:[^"\\]|\\.)*"'
# Calls whose literal arguments are shown in a box; for the path calls only their own message.
BOXES = r'\b(ErrorBox|WarningBox|MsgBox|SetupApiFailed|ComFailed|PathCallFailed|TakeServiceName|JoinPath|ExpandVariables)\s*\('
PATH_CALLS = ('JoinPath', 'ExpandVariables')


def unescaped(literal):
    text = literal[1:-1].replace('\\"', '"').replace('\\n', ' ').replace('\\r', '').replace('\\\\', '\\')
    return ' '.join(text.split())


def arguments(text, start):
    """The text between a call's parentheses, literals skipped over when counting them."""
    depth, at = 1, start
    while depth and at < len(text):
        if text[at] == '"':
            at = re.match(LITERAL, text[at:]).end() + at
            continue
        depth += {'(': 1, ')': -1}.get(text[at], 0)
        at += 1
    return text[start:at - 1]


def messages():
    sources = [re.sub(r'"\s+"', '', path.read_text(errors='replace')) for path in sorted((TOP / 'src').rglob('*.cpp'))]
    constants = {}
    for text in sources:
        for name, literal in re.findall(r'const char (k\w+)\[\]\s*=\s*(' + LITERAL + ')', text):
            constants.setdefault(name, []).append(literal)
    found = set()
    for text in sources:
        for call in re.finditer(BOXES, text):
            args = arguments(text, call.end())
            literals = re.findall(LITERAL, args)
            for name in re.findall(r'\b(k\w+)\b', args):
                literals += constants.get(name, [])
            if call.group(1) in PATH_CALLS:
                literals = [literal for literal in literals if '(%s)' in literal]
            # A format holds a blank; what else is passed are names (a key, an event, a file).
            found.update(unescaped(literal) for literal in literals if ' ' in unescaped(literal))
    for name, literals in constants.items():
        if name.endswith(('Question', 'Paragraph')):
            found.update(unescaped(literal) for literal in literals)
    return sorted(found)


def missing_anchors(markdown):
    """The checker's pointers (a call's last argument, a lower-case word) without a heading."""
    headings = {re.sub(r'[^a-z0-9 -]', '', title.lower()).replace(' ', '-') for title in re.findall(r'^#+ (.*)$', markdown, re.M)}
    checker = (TOP / 'tools' / 'checker' / 'checker.cpp').read_text()
    anchors = set(re.findall(r',\s*"([a-z][a-z-]*)"\)', checker))
    return sorted(anchors - headings) if anchors else ['(no pointers found in the checker)']


def main():
    markdown = (TOP / 'docs' / 'setup-ini.md').read_text()
    reference = ' '.join(markdown.split())
    found = messages()
    missing = [message for message in found if message not in reference] + \
              ['#' + anchor for anchor in missing_anchors(markdown)]
    if '--list' in sys.argv:
        print('\n'.join(found))
    for message in missing:
        print('not in docs/setup-ini.md: ' + message)
    print(f'messages_test: {len(found)} messages, {len(missing)} missing from the reference')
    return 1 if missing or len(found) < 50 else 0


if __name__ == '__main__':
    sys.exit(main())
