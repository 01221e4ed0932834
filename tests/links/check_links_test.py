#!/usr/bin/env python3
"""The link check against small checkouts: each row is a README over one fixed docs page,
and the broken links the check must name (none: it must pass)."""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "check-links.py")

PAGE = """# A page

Back to the [README](../README.md#top), or [on](#events-1).

## `msiexec`'s exit codes (and 3010)

## Events

## Events

Set-ext heading, GitHub style
-----------------------------

```sh
# a shell comment, not a heading
```
"""

ROWS = [
    ("a heading's code, punctuation and figures drop out",
     "# Top\n[x](docs/page.md#msiexecs-exit-codes-and-3010)\n", []),
    ("a repeated heading is numbered, from the second",
     "# Top\n[x](docs/page.md#events) [y](docs/page.md#events-1) [z](docs/page.md#events-2)\n",
     ["README.md:2: docs/page.md#events-2: no such heading in docs/page.md"]),
    ("a set-ext heading has an anchor",
     "# Top\n[x](docs/page.md#set-ext-heading-github-style)\n", []),
    ("a comment in a code block is no heading",
     "# Top\n[x](docs/page.md#a-shell-comment-not-a-heading)\n",
     ["README.md:2: docs/page.md#a-shell-comment-not-a-heading: no such heading in docs/page.md"]),
    ("a missing file, also behind a link text over two lines",
     "# Top\n\nSee [the\nmissing page](docs/missing.md) and ![a picture](docs/gone.png).\n",
     ["README.md:3: docs/missing.md: no such file", "README.md:4: docs/gone.png: no such file"]),
    ("an anchor into the same page",
     "# Top\n\n## The two commands\n[x](#the-two-commands) [y](#the-three-commands)\n",
     ["README.md:4: #the-three-commands: no such heading in README.md"]),
    ("code is not a link, other sites are not followed",
     "# Top\n`[x](gone.md)` ``a ` [y](gone.md)``\n\n```\n[z](gone.md)\n```\n"
     "[w](https://example.com/gone.md) [v](mailto:someone@example.com)\n", []),
    ("an unclosed backtick hides nothing",
     "# Top\nA lone ` here, then [x](gone.md).\n", ["README.md:2: gone.md: no such file"]),
    ("an escaped or angled target, a title, a reference",
     "# Top\n[x](<docs/a page.md>) [y](docs/a%20page.md \"title\") [z][ref] [w][nowhere]\n\n"
     "[ref]: docs/page.md#nothing\n",
     ["README.md:2: [nowhere]: no such link label",
      "README.md:4: docs/page.md#nothing: no such heading in docs/page.md"]),
]


class CheckLinksTest(unittest.TestCase):
    def test_rows(self):
        for name, readme, expected in ROWS:
            with self.subTest(name), tempfile.TemporaryDirectory() as root:
                os.mkdir(os.path.join(root, "docs"))
                for path, text in (("README.md", readme), ("docs/page.md", PAGE), ("docs/a page.md", "# A\n")):
                    with open(os.path.join(root, path), "w", encoding="utf-8") as page:
                        page.write(text)
                done = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
                named = [line for line in done.stdout.splitlines() if not line.startswith("check-links:")]
                self.assertEqual(named, expected)
                self.assertEqual(done.returncode, 1 if expected else 0, done.stdout + done.stderr)


if __name__ == "__main__":
    unittest.main()
