#!/usr/bin/python3
"""Checks that the man page and the README document every option of sonivex-cli.

Usage: documented_options.py SONIVEX_CLI MAN_PAGE README

Every option that `SONIVEX_CLI --help` names (each --word, and a bare --) must appear in the man page
(its roff source read as text: \\- as -, font changes dropped) and in the README, as a word of its own
(--no-log does not count for --no). The man page must also format without a warning from groff about
its source (macros, escapes, fonts, characters), where groff is installed. Exit status 1 names each option that a document lacks.

Only the Python standard library is used.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

# An option: -- and a name, or a bare -- (the end of the options), not inside a longer word.
OPTION = re.compile(r"(?<![\w-])--(?:[A-Za-z0-9][A-Za-z0-9-]*[A-Za-z0-9]|[A-Za-z0-9])?(?![\w-])")


def options_in(text):
    return set(OPTION.findall(text))


def roff_text(source):
    """The man page's source with the escapes that can sit inside an option name undone."""
    text = source.replace("\\-", "-").replace("\\(hy", "-")
    for invisible in ("\\&", "\\%", "\\:"):
        text = text.replace(invisible, "")
    return re.sub(r"\\f(?:\[[^\]]*\]|\([A-Za-z]{2}|[A-Za-z0-9])", "", text)


def help_text(cli):
    with tempfile.TemporaryDirectory() as home:
        env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
        env["HOME"] = home
        done = subprocess.run([cli, "--help"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env,
                              stdin=subprocess.DEVNULL, timeout=60)
    if done.returncode != 0:
        raise SystemExit("%s --help: exit status %d\n%s" % (cli, done.returncode, done.stderr.decode(errors="replace")))
    return done.stdout.decode("utf-8", errors="replace")


def groff_warnings(man_page):
    groff = shutil.which("groff")
    if groff is None:
        return None
    # The warnings about the source (macros, escapes, fonts, characters, delimiters), not about the layout.
    checks = [arg for kind in ("mac", "escape", "font", "char", "delim", "reg", "syntax") for arg in ("-w", kind)]
    checks += ["-W", "break"]
    done = subprocess.run([groff, "-man", "-z", "-Tutf8"] + checks + [man_page], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=60)
    return done.stderr.decode(errors="replace").strip() or ("exit status %d" % done.returncode
                                                            if done.returncode else "")


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__.split("\n\n")[1])
    cli, man_page, readme = sys.argv[1:]
    wanted = options_in(help_text(cli))
    # A help text whose options this check cannot see would pass anything.
    if not {"--help", "--version", "--save"} <= wanted:
        raise SystemExit("found no options in the output of --help (only %s)" % sorted(wanted))
    with open(man_page, encoding="utf-8") as f:
        in_man = options_in(roff_text(f.read()))
    with open(readme, encoding="utf-8") as f:
        in_readme = options_in(f.read())

    problems = 0
    for name, path, found in (("the man page", man_page, in_man), ("the README", readme, in_readme)):
        missing = sorted(wanted - found)
        if missing:
            problems += 1
            print("%s (%s) does not mention %s, which --help names" % (name, path, " ".join(missing)))
    warnings = groff_warnings(man_page)
    if warnings:
        problems += 1
        print("groff warns about %s:\n%s" % (man_page, warnings))
    print("documented options: %d options of --help, %s" %
          (len(wanted), "each in the man page and the README" if not problems else "%d problems" % problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
