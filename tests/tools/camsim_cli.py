#!/usr/bin/env python3
"""camsim's command line: usage, fleet listing and description files. Needs no network."""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

CAMSIM = ""


def run(*args):
    return subprocess.run([CAMSIM, *args], capture_output=True, text=True)


class CamsimCommandLine(unittest.TestCase):
    def test_help_documents_every_option(self):
        out = run("--help")
        self.assertEqual(out.returncode, 0)
        options = ["--count", "--base", "--prefix", "--seed", "--file", "--list", "--iface",
                   "--port", "--no-addr", "--behave", "--device"]
        keys = ["delay=", "delay-max=", "dup=", "matches=", "wsa5", "no-xaddrs", "no-scopes",
                "silent", "strict", "drop=", "result=", "hostile="]
        kinds = ["truncated", "oversized", "wrong-relates", "hello", "bye", "garbage", "fault"]
        for word in options + keys + kinds:
            self.assertIn(word, out.stdout)

    def test_usage_errors(self):
        cases = [["--count"], ["--count", "x"], ["--base", "1.2.3"], ["--prefix", "33"],
                 ["--list", "xml"], ["--behave", "dup=0"], ["--behave", "bogus"],
                 ["--behave", "hostile=nasty"], ["--behave", "drop=-1"], ["--behave", "strict=2"], ["--device", "10:silent"], ["--device", "3"],
                 ["--device", "4-2:silent"], ["--frobnicate"], ["--file", "/nonexistent"]]
        for args in cases:
            with self.subTest(args=args):
                out = run(*args, "--list")
                self.assertEqual(out.returncode, 2, out.stdout)
                self.assertIn("camsim:", out.stderr)

    def test_generated_fleet_is_stable_and_distinct(self):
        first = run("--list", "--count", "5000", "--seed", "7", "--base", "198.18.0.10")
        again = run("--list", "--count", "5000", "--seed", "7", "--base", "198.18.0.10")
        self.assertEqual(first.returncode, 0)
        self.assertEqual(first.stdout, again.stdout)
        rows = list(csv.DictReader(io.StringIO(first.stdout)))
        self.assertEqual(len(rows), 5000)
        for key in ("ip", "serial", "mac", "uuid"):
            self.assertEqual(len({r[key] for r in rows}), 5000, key)
        last_fields = {int(r["ip"].split(".")[3]) for r in rows}
        self.assertFalse(last_fields & {0, 255})
        self.assertEqual(rows[0]["ip"], "198.18.0.10")
        names = [r["name"] for r in rows]
        self.assertTrue(any("Korvane" in n or "Ostrel" in n for n in names))
        self.assertTrue(any("Korvane" not in n and "Ostrel" not in n for n in names))
        self.assertTrue(any(not r["model"].isascii() for r in rows))
        for r in rows:
            # Scope values carry no blanks: the scope list is split at blanks.
            self.assertNotRegex(r["model"] + r["name"] + r["serial"] + r["version"], r"\s")
        other = run("--list", "--count", "5000", "--seed", "8", "--base", "198.18.0.10")
        self.assertNotEqual(first.stdout, other.stdout)

    def test_description_file(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# two hand-made devices and a generated one\n"
                    "ip=198.18.5.1 model=Cam-é serial=S1 mac=00:11:22:33:44:55 password=pw"
                    " code=C1 delay=5\n\n"
                    "ip=198.18.5.254 name=Lab silent  # a comment\n"
                    "model=Third\n")
            path = f.name
        try:
            out = run("--list", "json", "--file", path)
        finally:
            os.unlink(path)
        self.assertEqual(out.returncode, 0, out.stderr)
        fleet = json.loads(out.stdout)
        self.assertEqual([d["ip"] for d in fleet], ["198.18.5.1", "198.18.5.254", "198.18.6.1"])
        self.assertEqual((fleet[0]["model"], fleet[0]["serial"], fleet[0]["mac"],
                          fleet[0]["password"], fleet[0]["code"]),
                         ("Cam-é", "S1", "00:11:22:33:44:55", "pw", "C1"))
        self.assertIn("onvif://www.onvif.org/hardware/Cam-é", fleet[0]["scopes"])
        self.assertIn("onvif://www.onvif.org/name/Lab", fleet[1]["scopes"])
        self.assertTrue(fleet[1]["silent"])
        self.assertEqual(fleet[2]["model"], "Third")
        self.assertTrue(re.fullmatch(r"urn:uuid:[0-9a-f-]{36}", fleet[2]["uuid"]))


if __name__ == "__main__":
    CAMSIM = os.path.abspath(sys.argv.pop(1))
    unittest.main(argv=[sys.argv[0], "-v"])
