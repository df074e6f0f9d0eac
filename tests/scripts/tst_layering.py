#!/usr/bin/env python3
"""Holds the sources to docs/architecture.md: the table there says which folder may include which.

Checked here, each failure named by file and line:
- every #include "folder/..." of the program, the tools and the tests against the table (a test
  may include the folder it tests, what that folder may include, and tests/support);
- every library a folder's CMakeLists.txt links against the same table, and every header a
  library includes from another library of the program against what it links (a library links
  what it includes, so that its link line tells the truth about it);
- the libraries the table names against those the CMakeLists.txt files make;
- no source file of the program over 700 lines;
- no statement in a window: a `*_gui` library's sources hold no SQL text (statements live in the
  folder's `*_core`).

Usage: tst_layering.py SOURCE_DIR
"""

import pathlib
import re
import sys

MAX_LINES = 700
# Files the size rule only reports (none: keep it so).
SIZE_EXCEPTIONS = set()

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ROW = re.compile(r"^\|\s*`([a-z/]+)`\s*\|([^|]*)\|([^|]*)\|\s*$")
NAME = re.compile(r"`([A-Za-z0-9_/]+)`")
LIBRARY_CALL = re.compile(r"rentbook_add_library\(\s*(\w+)(.*?)\)", re.S)
LINK_CALL = re.compile(r"target_link_libraries\(\s*(\w+)(.*?)\)", re.S)
SUPPORT = "tests/support"


def read_table(doc):
    """folder -> (libraries, may include), from the rows of the table in the document."""
    table = {}
    for number, line in enumerate(doc.read_text(encoding="utf-8").splitlines(), 1):
        m = ROW.match(line)
        if not m:
            continue
        folder, libraries, allowed = m.group(1), NAME.findall(m.group(2)), NAME.findall(m.group(3))
        if folder in table:
            sys.exit(f"{doc}:{number}: folder {folder} has two rows")
        table[folder] = (set(libraries), set(allowed))
    if not table:
        sys.exit(f"{doc}: no table of folders found")
    for folder, (_, allowed) in table.items():
        for other in allowed:
            if other not in table:
                sys.exit(f"{doc}: {folder} may include {other}, which has no row")
    return table


def folder_of(path):
    """The table's row for a file given relative to the source tree; None when it has none."""
    parts = path.parts
    if parts[0] == "tests":
        return SUPPORT if parts[1:2] == ("support",) else None
    return parts[0]


def target_of(include, table):
    """The table's row an include names, or None for an include of the folder's own kind
    (a generated ui_ header, a .moc file)."""
    if "/" not in include:
        return None
    if include.startswith(SUPPORT + "/"):
        return SUPPORT
    return include.split("/", 1)[0]


def sources(root, top):
    for path in sorted((root / top).rglob("*")):
        if path.suffix in (".cpp", ".h") and path.is_file():
            yield path


def check_includes(root, table, failures):
    # A test may include its folder, what that folder may include, and the shared fixtures.
    program = [f for f in table if f not in ("tools", SUPPORT)]
    tops = program + ["tools", "tests"]
    for top in tops:
        if not (root / top).is_dir():
            failures.append(f"{top}: the table names a folder that does not exist")
            continue
        for path in sources(root, top):
            rel = path.relative_to(root)
            if rel.parts[0] == "tests" and rel.parts[1] != "support":
                tested = rel.parts[1]
                if tested not in table or tested in ("tools",):
                    # tests/scripts and the like hold no C++; anything else needs a row.
                    failures.append(f"{rel}: tests/{tested} tests no folder of the table")
                    continue
                owner = f"tests/{tested}"
                # app/ too: what the next start makes of the state a test leaves.
                allowed = {tested, SUPPORT, "app"} | table[tested][1]
            else:
                folder = folder_of(rel)
                owner = folder
                allowed = {folder} | table[folder][1]
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = target_of(m.group(1), table)
                if target is None:
                    continue
                if target not in table:
                    failures.append(f"{rel}:{number}: includes {m.group(1)}, a folder the table does not name")
                elif target not in allowed:
                    failures.append(f"{rel}:{number}: {owner} -> {target} is not allowed ({m.group(1)})")
    # Every folder with a CMakeLists.txt of its own is in the table.
    for cmake in sorted(root.glob("*/CMakeLists.txt")):
        folder = cmake.parent.name
        if folder not in table and folder not in ("tests", "cmake"):
            failures.append(f"{folder}/: a folder of the program the table does not name")


def words(text):
    text = re.sub(r"#[^\n]*", "", text)
    return re.findall(r"[\w${}./:-]+", text)


def libraries_of(root, table):
    """library -> (folder, sources, linked libraries), from the program's CMakeLists.txt files."""
    libs = {}
    for folder in table:
        cmake = root / folder / "CMakeLists.txt"
        if folder in ("tools", SUPPORT) or not cmake.is_file():
            continue
        text = cmake.read_text(encoding="utf-8")
        for m in LIBRARY_CALL.finditer(text):
            part = None
            srcs, links = [], []
            for w in words(m.group(2)):
                if w in ("SOURCES", "LIBS"):
                    part = w
                elif part == "SOURCES":
                    srcs.append(w)
                elif part == "LIBS":
                    links.append(w)
            libs[m.group(1)] = (folder, srcs, links)
        for m in LINK_CALL.finditer(text):
            if m.group(1) in libs:
                libs[m.group(1)][2].extend(w for w in words(m.group(2)) if w not in ("PRIVATE", "PUBLIC"))
    return libs


def check_libraries(root, table, failures):
    libs = libraries_of(root, table)
    made = {}
    for lib, (folder, _, _) in libs.items():
        made.setdefault(folder, set()).add(lib)
    for folder, (named, _) in table.items():
        if folder in ("tools", SUPPORT):
            continue
        # The program itself is made with add_executable, in app/.
        have = made.get(folder, set()) | ({"Rentbook"} if folder == "app" else set())
        for lib in sorted(named - have):
            failures.append(f"docs/architecture.md: {folder} names {lib}, which {folder}/CMakeLists.txt does not make")
        for lib in sorted(have - named):
            failures.append(f"{folder}/CMakeLists.txt: makes {lib}, which the table does not name")

    # Which library a header of the program belongs to.
    owner = {}
    for lib, (folder, srcs, _) in libs.items():
        for s in srcs:
            if s.endswith(".h"):
                owner[f"{folder}/{s}"] = lib
    for lib, (folder, srcs, links) in libs.items():
        allowed = {folder} | table[folder][1]
        for linked in links:
            if linked in libs and libs[linked][0] not in allowed:
                failures.append(f"{folder}/CMakeLists.txt: {lib} links {linked}: "
                                f"{folder} -> {libs[linked][0]} is not allowed")
        for s in srcs:
            path = root / folder / s
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                m = INCLUDE.match(line)
                if not m or m.group(1) not in owner:
                    continue
                other = owner[m.group(1)]
                if other != lib and other not in links:
                    failures.append(f"{folder}/{s}:{number}: includes {m.group(1)} of {other}, "
                                    f"which {lib} does not link")


STATEMENT = re.compile(r'"\s*(select|insert\s+into|update|delete\s+from|create|alter|drop)\s', re.I)


def check_window_statements(root, table, failures):
    for lib, (folder, srcs, _) in libraries_of(root, table).items():
        if not lib.endswith("_gui"):
            continue
        for s in srcs:
            path = root / folder / s
            if path.suffix not in (".cpp", ".h") or not path.is_file():
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
                if STATEMENT.search(line) and not line.lstrip().startswith("//"):
                    failures.append(f"{folder}/{s}:{number}: a statement in {lib}; it belongs in the folder's core")


def check_sizes(root, table, failures, notes):
    for folder in table:
        if folder in ("tools", SUPPORT) or not (root / folder).is_dir():
            continue
        for path in sources(root, folder):
            rel = path.relative_to(root).as_posix()
            with path.open(encoding="utf-8") as f:
                lines = sum(1 for _ in f)
            if lines > MAX_LINES:
                text = f"{rel}: {lines} lines, more than {MAX_LINES}"
                (notes if rel in SIZE_EXCEPTIONS else failures).append(text)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    root = pathlib.Path(sys.argv[1]).resolve()
    table = read_table(root / "docs" / "architecture.md")
    failures, notes = [], []
    check_includes(root, table, failures)
    check_libraries(root, table, failures)
    check_sizes(root, table, failures, notes)
    check_window_statements(root, table, failures)
    for n in notes:
        print(f"note: {n} (being split)")
    for f in failures:
        print(f)
    if failures:
        print(f"{len(failures)} breach(es) of docs/architecture.md")
        return 1
    print(f"{len(table)} folders, every include and link as docs/architecture.md allows")
    return 0


if __name__ == "__main__":
    sys.exit(main())
