#!/usr/bin/env python3
"""Cases of the documents' link check (link_check.py): a small tree per case, the broken links
it must report and the good ones it must accept."""
import contextlib
import io
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import link_check  # noqa: E402

# Each case: the README's text, the other files of the tree, and the links reported as broken
# (the text between the parentheses of each reported line), in order. The tree's root is a
# folder of its own: a file named "../NAME" lies beside it, out of the repository.
CASES = [
    ("a file that exists", "[guide](docs/guide.md)", {"docs/guide.md": "# Guide"}, []),
    ("a file that does not", "[guide](docs/missing.md)", {}, ["docs/missing.md"]),
    ("an image that does not", "![the window](docs/window.png)", {}, ["docs/window.png"]),
    ("a folder", "[docs](docs/)", {"docs/guide.md": ""}, []),
    ("a heading of the same file", "# Top\n\n[up](#top)", {}, []),
    ("a heading that is not there", "# Top\n\n[up](#bottom)", {}, ["#bottom"]),
    ("a two-language heading, punctuation dropped", "[rule](docs/a.md#地址规则--the-address-rule)",
     {"docs/a.md": "## 地址规则 / The address rule"}, []),
    ("full-width punctuation and an apostrophe dropped", "[r](a.md#发布包校验和签名--the-logs-lines)",
     {"a.md": "## 发布包、校验和签名 / The log's lines"}, []),
    ("a heading with code and emphasis", "[c](a.md#checking-check-now)",
     {"a.md": "## Checking `/check` *now*"}, []),
    ("repeated headings numbered", "[one](a.md#https-1) [two](a.md#https-2)",
     {"a.md": "### https\n\n### https\n"}, ["a.md#https-2"]),
    ("closing hashes and a setext heading", "[a](a.md#closed) [b](a.md#underlined)",
     {"a.md": "## Closed ##\n\nUnderlined\n----------\n"}, []),
    ("an anchor in upper case is not a heading's", "# Top\n\n[up](#Top)", {}, ["#Top"]),
    ("a link inside a fenced block is not checked", "```\n[x](missing.md)\n```\n~~~\n[y](gone.md)\n~~~",
     {}, []),
    ("a heading inside a fenced block is no anchor", "```\n# Fake\n```\n[x](#fake)", {}, ["#fake"]),
    ("a link in a code span is not checked", "Write `[x](missing.md)` like this.", {}, []),
    ("an indented code block is not checked", "Text.\n\n    [x](missing.md)\n", {}, []),
    ("a list item's continuation is checked", "1. First,\n   see [x](missing.md).\n", {},
     ["missing.md"]),
    ("a list item's indented paragraph is checked", "- item\n\n    [x](missing.md)\n", {},
     ["missing.md"]),
    ("URLs and mail are not checked", "[a](https://example.com/x) [b](mailto:a@example.com) "
     "[c](//example.com/)", {}, []),
    ("a title after the target", '[a](docs/a.md "The guide")', {"docs/a.md": ""}, []),
    ("a target in angle brackets with a blank", "[a](<my file.md>)", {"my file.md": ""}, []),
    ("a percent-encoded target", "[a](my%20file.md)", {"my file.md": ""}, []),
    ("a percent-encoded anchor", "[a](a.md#%E5%9C%B0%E5%9D%80)", {"a.md": "# 地址"}, []),
    ("parentheses in a target", "[a](a_(b).md)", {"a_(b).md": ""}, []),
    ("a reference definition", "[a][ref]\n\n[ref]: missing.md", {}, ["missing.md"]),
    ("an HTML image", '<img src="docs/gone.png" alt="x">', {}, ["docs/gone.png"]),
    ("an HTML anchor as a target", '<a id="here"></a>\n\n[x](#here)', {}, []),
    ("a file out of the repository", "[x](../outside.md)", {"../outside.md": ""}, ["../outside.md"]),
    ("a root-relative link", "[x](/docs/a.md)", {"docs/a.md": ""}, []),
    ("an anchor into a file that is not Markdown", "[x](a.txt#top) [y](a.txt#L3-L5)", {"a.txt": ""},
     ["a.txt#top"]),
    ("an empty target", "[x]()", {}, [""]),
    ("a link from docs/ back up", "", {"docs/a.md": "[x](../README.md) [y](../nowhere.md)"},
     ["../nowhere.md"]),
    ("a link inside an image's text", "[![pic](pic.png)](missing.md)", {"pic.png": ""}, ["missing.md"]),
]


class LinkCheckCases(unittest.TestCase):
    def run_check(self, readme, files):
        with tempfile.TemporaryDirectory() as folder:
            root = os.path.join(folder, "repository")  # "../NAME" files lie beside it
            for name, text in {"README.md": readme, **files}.items():
                path = os.path.join(root, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w", encoding="utf-8") as file:
                    file.write(text)
            output = io.StringIO()
            with contextlib.redirect_stdout(output):
                status = link_check.main([root])
        lines = output.getvalue().splitlines()
        return status, lines

    def test_cases(self):
        for name, readme, files, broken in CASES:
            with self.subTest(name):
                status, lines = self.run_check(readme, files)
                reported = [line.split(" (", 1)[1].split(") ", 1)[0] for line in lines[:-1]]
                self.assertEqual(reported, broken, "\n".join(lines))
                self.assertEqual(status, 1 if broken else 0)
                self.assertTrue(lines[-1].endswith(f": {len(broken)} broken"), lines[-1])

    def test_a_missing_document_is_reported(self):
        with tempfile.TemporaryDirectory() as root:
            output = io.StringIO()
            with contextlib.redirect_stdout(output):
                status = link_check.main([root, os.path.join(root, "docs", "gone.md")])
        self.assertEqual(status, 1)
        self.assertIn("docs/gone.md: missing", output.getvalue())

    def test_the_line_number_is_given(self):
        status, lines = self.run_check("# Top\n\ntext\n\n[x](gone.md)\n", {})
        self.assertEqual(status, 1)
        self.assertEqual(lines[0], "README.md:5: (gone.md) no such file: gone.md")


if __name__ == "__main__":
    unittest.main(verbosity=1)
