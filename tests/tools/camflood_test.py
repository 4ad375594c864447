#!/usr/bin/env python3
"""camflood sends what it says: the datagrams of each kind, in turn, relating to the probe it
learned, at about the rate asked (the measured rate is printed, not checked).

Run as: camflood_test.py CAMFLOOD CAMSIM VLAN
The first part floods a socket of this test on 127.0.0.1 (no root needed). The second runs
camflood with --learn beside camsim in a virtual LAN (root only; skipped otherwise): it runs
itself again inside the client namespace with --inside.
"""
import os
import signal
import socket
import subprocess
import sys
import time
import unittest
import uuid

import camsim_answers as wire

CAMFLOOD = ""
NOBODY = "urn:uuid:00000000-0000-4000-8000-000000000000"


def stats_lines(text):
    """The "camflood flood:" lines of an output, as dicts."""
    return [dict(kv.split("=", 1) for kv in line.split(":", 1)[1].split())
            for line in text.splitlines() if line.startswith("camflood flood:")]


def receiver():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        sock.setsockopt(socket.SOL_SOCKET, 33, 32 << 20)  # SO_RCVBUFFORCE (root)
    except PermissionError:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 32 << 20)
    sock.bind(("127.0.0.1", 0))
    return sock


def receive(sock, count, seconds):
    """Up to count datagrams within seconds of silence, with their arrival times."""
    got = []
    sock.settimeout(seconds)
    try:
        while len(got) < count:
            data = sock.recv(65536)
            got.append((data, time.monotonic()))
    except socket.timeout:
        pass
    return got


def check_matches(test, data, relates_to, matches, seen):
    """A fake tns:ProbeMatches: relating to the probe, with `matches` new devices."""
    root = wire.parse(data)
    test.assertIsNotNone(root)
    test.assertEqual(wire.relates_to(root), relates_to)
    found = wire.matches_of(root)
    test.assertEqual(len(found), matches)
    for match in found:
        address = match.findtext(f"{{{wire.WSD}}}XAddrs")
        test.assertRegex(address, r"^10\.\d+\.\d+\.\d+$")
        test.assertTrue(match.findtext(f"{{{wire.WSD}}}Scopes"))
        test.assertNotIn(address, seen, "a made-up device came twice")
        seen.add(address)


class Loopback(unittest.TestCase):
    def test_kinds_in_turn_at_the_rate_asked(self):
        sock = receiver()
        port = sock.getsockname()[1]
        relates_to = f"urn:uuid:{uuid.uuid4()}"
        total, matches, junk = 300, 40, 5000
        flood = subprocess.Popen(
            [CAMFLOOD, "--to", f"127.0.0.1:{port}", "--relates-to", relates_to, "--kind",
             "matches,empty,junk", "--matches", str(matches), "--junk-size", str(junk),
             "--rate", "1000", "--total", str(total)], stdout=subprocess.PIPE, text=True)
        got = receive(sock, total, 3)
        out, _ = flood.communicate(timeout=30)
        sock.close()
        self.assertEqual(flood.returncode, 0)
        stats = stats_lines(out)
        self.assertEqual(len(stats), 1, out)
        self.assertEqual({k: stats[0][k] for k in ("sent", "matches", "empty", "junk",
                                                      "fake_devices", "send_errors")},
                         {"sent": "300", "matches": "100", "empty": "100", "junk": "100",
                          "fake_devices": str(100 * matches), "send_errors": "0"})
        self.assertEqual(stats[0]["relates_to"], relates_to)
        self.assertEqual(len(got), total)
        seen = set()
        for i, (data, _) in enumerate(got):
            with self.subTest(datagram=i):
                kind = ("matches", "empty", "junk")[i % 3]
                if kind == "matches":
                    check_matches(self, data, relates_to, matches, seen)
                elif kind == "empty":
                    self.assertEqual(data, b"")
                else:
                    self.assertEqual(len(data), junk)
                    self.assertNotIn(relates_to.encode(), data)
                    self.assertEqual(wire.relates_to(wire.parse(data)), NOBODY)
        seconds = got[-1][1] - got[0][1]
        print(f"camflood at --rate 1000: received {len(got)} in {seconds:.3f} s = "
              f"{(len(got) - 1) / seconds:.0f}/s; its own count: rate={stats[0]['rate']}/s "
              f"mbit={stats[0]['mbit']}")

    def test_as_fast_as_possible(self):
        sock = receiver()
        total = 50000
        out = subprocess.run(
            [CAMFLOOD, "--to", f"127.0.0.1:{sock.getsockname()[1]}", "--kind", "empty",
             "--rate", "0", "--total", str(total)], capture_output=True, text=True, timeout=60)
        sock.close()
        stats = stats_lines(out.stdout)
        self.assertEqual(out.returncode, 0, out.stderr)
        self.assertEqual((stats[0]["sent"], stats[0]["empty"], stats[0]["send_errors"]),
                         (str(total), str(total), "0"))
        print(f"camflood at --rate 0, zero-length datagrams: rate={stats[0]['rate']}/s")

    def test_usage_errors(self):
        for args in (["--learn", "--to", "127.0.0.1:9"], [], ["--to", "127.0.0.1"],
                     ["--to", "127.0.0.1:9", "--kind", "matches,bogus"],
                     ["--to", "127.0.0.1:9", "--matches", "100000"],
                     ["--to", "127.0.0.1:9", "--junk-size", "65508"]):
            with self.subTest(args=args):
                out = subprocess.run([CAMFLOOD, *args], capture_output=True, text=True)
                self.assertEqual(out.returncode, 2)
                self.assertIn("camflood:", out.stderr)


class Learning(unittest.TestCase):
    """Inside the client namespace of a virtual LAN with 5 cameras on segment A."""

    def test_floods_the_sender_of_each_probe_beside_real_cameras(self):
        ns_a = os.environ["VLAN_NS_A"]
        flood = subprocess.Popen(
            ["ip", "netns", "exec", ns_a, CAMFLOOD, "--learn", "--iface", "eth0", "--kind",
             "matches", "--matches", "50", "--rate", "200", "--duration", "1000"],
            stdout=subprocess.PIPE, text=True)
        try:
            self.assertTrue(flood.stdout.readline().startswith("camflood ready: learning"))
            first = wire.Endpoint()
            first.send(wire.probe_body(), wire.GROUP)
            got = first.collect(1.6)
            # The same search seen again by broadcast does not start another flood.
            first.send(wire.probe_body("KorvaneProbe"), "255.255.255.255")
            first.close()
            second = wire.Endpoint()
            second.send(wire.probe_body("KorvaneProbe"), "255.255.255.255")
            got2 = second.collect(0.3)
            second.close()
        finally:
            flood.send_signal(signal.SIGTERM)
            out, _ = flood.communicate(timeout=10)
        self.assertEqual(flood.returncode, 0)
        cameras = [d for d, addr, _ in got if addr[0] != "198.18.0.2"]
        fakes = [d for d, addr, _ in got if addr[0] == "198.18.0.2"]
        self.assertEqual(len(cameras), 5)
        seen = set()
        for data in fakes:
            check_matches(self, data, first.message_id, 50, seen)
        stats = stats_lines(out)
        self.assertEqual([s["relates_to"] for s in stats],
                         [first.message_id, second.message_id], out)
        self.assertEqual(stats[0]["to"].split(":")[0], "198.18.0.1")
        self.assertEqual(int(stats[0]["sent"]), len(fakes))
        self.assertTrue(any(wire.relates_to(wire.parse(d)) == second.message_id
                            for d, _, _ in got2))
        print(f"camflood learning: {len(fakes)} fake answers to the probe beside "
              f"{len(cameras)} cameras; its own count: rate={stats[0]['rate']}/s")


def main():
    global CAMFLOOD
    if "--inside" in sys.argv:  # inside the client namespace
        CAMFLOOD = sys.argv[sys.argv.index("--inside") + 1]
        unittest.main(argv=[sys.argv[0], "-v", "Learning"])
        return
    CAMFLOOD, camsim, vlan = (os.path.abspath(a) for a in sys.argv[1:4])
    loopback = unittest.main(argv=[sys.argv[0], "-v", "Loopback"], exit=False).result
    if not loopback.wasSuccessful():
        sys.exit(1)
    if os.geteuid() != 0:
        print("camflood_test: the learning part needs root for network namespaces; skipped")
        sys.exit(0)
    cmd = [vlan, "run", f"cf{os.getpid()}", "--camsim", camsim, "--a", "--count 5", "--",
           sys.executable, os.path.abspath(__file__), "--inside", CAMFLOOD]
    sys.exit(subprocess.run(cmd).returncode)


if __name__ == "__main__":
    main()
