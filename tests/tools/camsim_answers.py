#!/usr/bin/env python3
"""camsim's answers, checked with a probe sender of this test's own inside a virtual LAN.

Run from the host namespace as: camsim_answers.py CAMSIM VLAN
It starts "VLAN run" with the fleets below and runs itself again inside the client namespace,
where the test cases send their requests. Exit 77 (skipped) when not root.
"""
import json
import os
import signal
import socket
import subprocess
import sys
import time
import unittest
import uuid
import xml.etree.ElementTree as ET
from xml.sax.saxutils import escape

SOAP = "http://www.w3.org/2003/05/soap-envelope"
WSA = "http://schemas.xmlsoap.org/ws/2004/08/addressing"
WSA5 = "http://www.w3.org/2005/08/addressing"
WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"
DN = "http://www.onvif.org/ver10/network/wsdl"
GROUP = "239.255.255.250"
CLI_A, CLI_B = "198.18.0.1", "198.19.0.1"

# Device index -> behaviour on segment A. Unlisted devices behave normally.
BEHAVIOURS = {
    4: "delay=400", 5: "dup=3", 6: "wsa5", 7: "matches=3", 8: "no-xaddrs", 9: "no-scopes",
    10: "silent", 11: "result=259", 12: "hostile=truncated", 13: "hostile=wrong-relates",
    14: "hostile=hello", 15: "hostile=bye", 16: "hostile=garbage", 17: "hostile=oversized",
    18: "hostile=fault", 19: "delay-max=200", 24: "strict", 25: "drop=1000000",
}
# Devices 20 and 23 move in test_address_move_and_password_restore, which may run first.
NORMAL = [0, 1, 2, 3, 21, 22]
MOVED_IP = "198.18.1.77"
ARGS_A = ["--count", "26"] + [a for i, b in BEHAVIOURS.items() for a in ("--device", f"{i}:{b}")]
ARGS_B = ["--count", "6"]


def fleet(camsim, base, seed, args):
    out = subprocess.run([camsim, "--list", "json", "--base", base, "--seed", str(seed)] + args,
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def scramble(password):
    """The client's password scrambler, written again here so that a fault is not shared."""
    if not password:
        return "vacantcipher"
    out, key = [], 0xB6
    for byte in password.encode():
        c = byte ^ key
        out.append(chr(33 + 5 * (c >> 4)) + chr(33 + 5 * (c & 15)))
        key ^= 0xFF
    return "".join(out)


def envelope(body, message_id, header=""):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            f'<s:Envelope xmlns:s="{SOAP}" xmlns:a="{WSA}" xmlns:t="{WSD}" xmlns:dn="{DN}">'
            f'<s:Header><a:MessageID>{message_id}</a:MessageID>'
            '<a:To s:mustUnderstand="true">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>'
            f'{header}</s:Header><s:Body>{body}</s:Body></s:Envelope>').encode()


def probe_body(element="Probe", types="dn:NetworkVideoTransmitter", scopes=None):
    scopes_xml = f"<t:Scopes>{scopes}</t:Scopes>" if scopes is not None else ""
    return f"<t:{element}><t:Types>{types}</t:Types>{scopes_xml}</t:{element}>"


def config_body(element, seq, serial, mac, user="admin", auth="", addr=None, code=None):
    body = (f"<t:{element}><t:OpUserInfo><t:UserName>{user}</t:UserName><t:AuthCode>{escape(auth)}"
            f"</t:AuthCode><t:UserId>test</t:UserId><t:MsgSeq>{seq}</t:MsgSeq></t:OpUserInfo>"
            f"<t:DeviceInfo><t:DeviceSerialNo>{serial}</t:DeviceSerialNo><t:DeviceId>{mac}"
            "</t:DeviceId></t:DeviceInfo>")
    if addr is not None:
        ip, mask, gw = addr
        body += (f"<t:DeviceAddrInfo><t:DeviceIpaddr>{ip}</t:DeviceIpaddr><t:DeviceIpMask>{mask}"
                 f"</t:DeviceIpMask><t:DefaultGW>{gw}</t:DefaultGW></t:DeviceAddrInfo>")
    if code is not None:
        body += f"<t:PasswordAuthCode>{escape(code)}</t:PasswordAuthCode>"
    return body + f"</t:{element}>"


class Endpoint:
    """One UDP socket of the client namespace, bound to one segment's interface."""

    def __init__(self, iface="eth0", local=CLI_A):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BINDTODEVICE, iface.encode())
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(local))
        self.sock.bind(("0.0.0.0", 0))
        self.message_id = f"urn:uuid:{uuid.uuid4()}"

    def send(self, body, dest, header=""):
        self.sent_at = time.monotonic()
        self.sock.sendto(envelope(body, self.message_id, header), (dest, 3702))

    def collect(self, seconds=1.2, until=None):
        """Datagrams received within seconds (or until `until` of them): (data, addr, delay)."""
        got, end = [], time.monotonic() + seconds
        while time.monotonic() < end and (until is None or len(got) < until):
            self.sock.settimeout(max(0.01, end - time.monotonic()))
            try:
                data, addr = self.sock.recvfrom(65536)
            except socket.timeout:
                break
            got.append((data, addr, time.monotonic() - self.sent_at))
        return got

    def close(self):
        self.sock.close()


def parse(data):
    try:
        return ET.fromstring(data)
    except ET.ParseError:
        return None


def relates_to(root, ns=WSA):
    node = root.find(f"{{{SOAP}}}Header/{{{ns}}}RelatesTo")
    return None if node is None else node.text


def body_element(root):
    return list(root.find(f"{{{SOAP}}}Body"))[0]


def matches_of(root):
    return body_element(root).findall(f"{{{WSD}}}ProbeMatch")


class CamsimAnswers(unittest.TestCase):
    camsim = os.environ.get("CAMSIM", "")
    A = []
    B = []
    seq = 500

    @classmethod
    def setUpClass(cls):
        cls.A = fleet(cls.camsim, "198.18.0.10", 1, ARGS_A)
        cls.B = fleet(cls.camsim, "198.19.0.10", 2, ARGS_B)

    def setUp(self):
        self.ep = Endpoint()

    def tearDown(self):
        self.ep.close()

    def by_source(self, answers):
        out = {}
        for data, addr, delay in answers:
            out.setdefault(addr[0], []).append((data, addr, delay))
        return out

    def check_match(self, match, device):
        self.assertEqual(match.findtext(f"{{{WSA}}}EndpointReference/{{{WSA}}}Address"),
                         device["uuid"])
        self.assertIn("NetworkVideoTransmitter", match.findtext(f"{{{WSD}}}Types"))
        self.assertEqual(match.findtext(f"{{{WSD}}}XAddrs"), device["xaddrs"])
        self.assertEqual(match.findtext(f"{{{WSD}}}MetadataVersion"), "1")
        scopes = match.findtext(f"{{{WSD}}}Scopes").split()
        self.assertEqual(" ".join(scopes), device["scopes"])
        # The client keeps each item less a fixed prefix length: the fields must come out whole.
        fields = {"/hardware/": (31, "model"), "/name/": (27, "name"),
                  "/macaddr/": (30, "mac"), "/version/": (30, "version"),
                  "/serial/": (29, "serial")}
        for path, (cut, key) in fields.items():
            items = [s for s in scopes if path in s]
            self.assertEqual(len(items), 1, path)
            self.assertEqual(items[0][cut:], device[key], path)

    def test_multicast_probe_answers_and_behaviours(self):
        self.ep.send(probe_body(), GROUP)
        answers = self.by_source(self.ep.collect(1.5))
        ips = {d["ip"]: i for i, d in enumerate(self.A)}
        self.assertFalse(set(answers) - set(ips) - {MOVED_IP}, "answers from outside segment A")
        self.assertNotIn(self.A[10]["ip"], answers, "silent device answered")
        for i in NORMAL + [4, 19]:
            d = self.A[i]
            with self.subTest(device=i):
                self.assertIn(d["ip"], answers)
                self.assertEqual(len(answers[d["ip"]]), 1)
                data, addr, _ = answers[d["ip"]][0]
                self.assertEqual(addr[1], 3702)
                root = parse(data)
                self.assertEqual(root.tag, f"{{{SOAP}}}Envelope")
                self.assertEqual(relates_to(root), self.ep.message_id)
                self.assertTrue(root.findtext(f"{{{SOAP}}}Header/{{{WSA}}}MessageID")
                                .startswith("urn:uuid:"))
                self.assertEqual(root.findtext(f"{{{SOAP}}}Header/{{{WSA}}}Action"),
                                 WSD + "/ProbeMatches")
                self.assertEqual(body_element(root).tag, f"{{{WSD}}}ProbeMatches")
                self.assertEqual(len(matches_of(root)), 1)
                self.check_match(matches_of(root)[0], d)
        self.assertGreaterEqual(answers[self.A[4]["ip"]][0][2], 0.4, "delay=400 not kept")

        dup = answers[self.A[5]["ip"]]
        self.assertEqual(len(dup), 3)
        self.assertEqual(len({data for data, _, _ in dup}), 1)

        wsa5 = parse(answers[self.A[6]["ip"]][0][0])
        self.assertIsNone(relates_to(wsa5))
        self.assertEqual(relates_to(wsa5, WSA5), self.ep.message_id)

        multi = matches_of(parse(answers[self.A[7]["ip"]][0][0]))
        self.assertEqual([m.findtext(f".//{{{WSD}}}Scopes").split("/serial/")[1] for m in multi],
                         [self.A[7]["serial"], self.A[7]["serial"] + "-CH2",
                          self.A[7]["serial"] + "-CH3"])

        no_x = matches_of(parse(answers[self.A[8]["ip"]][0][0]))[0]
        self.assertIsNone(no_x.find(f"{{{WSD}}}XAddrs"))
        self.assertIsNotNone(no_x.find(f"{{{WSD}}}Scopes"))
        no_s = matches_of(parse(answers[self.A[9]["ip"]][0][0]))[0]
        self.assertIsNone(no_s.find(f"{{{WSD}}}Scopes"))
        self.assertEqual(no_s.findtext(f"{{{WSD}}}XAddrs"), self.A[9]["xaddrs"])

    def test_hostile_answers(self):
        self.ep.send(probe_body(), GROUP)
        answers = self.by_source(self.ep.collect(1.2))
        first = {i: answers[self.A[i]["ip"]][0][0] for i in range(12, 19)}
        self.assertIsNone(parse(first[12]), "truncated answer parses")
        self.assertTrue(first[12].startswith(b"<?xml"))
        wrong = parse(first[13])
        self.assertNotEqual(relates_to(wrong), self.ep.message_id)
        self.assertEqual(len(matches_of(wrong)), 1)
        self.assertEqual(body_element(parse(first[14])).tag, f"{{{WSD}}}Hello")
        self.assertEqual(body_element(parse(first[15])).tag, f"{{{WSD}}}Bye")
        self.assertIsNone(parse(first[16]))
        self.assertFalse(first[16].lstrip().startswith(b"<"))
        big = parse(first[17])
        self.assertGreater(len(first[17]), 60000)
        self.assertEqual(relates_to(big), self.ep.message_id)
        self.assertEqual(body_element(parse(first[18])).tag, f"{{{SOAP}}}Fault")

    def test_broadcast_korvane_probe_reaches_only_its_segment(self):
        ep = Endpoint("eth1", CLI_B)
        try:
            ep.send(probe_body("KorvaneProbe"), "255.255.255.255")
            answers = self.by_source(ep.collect(1.2))
        finally:
            ep.close()
        self.assertEqual(set(answers), {d["ip"] for d in self.B})
        for d in self.B:
            root = parse(answers[d["ip"]][0][0])
            self.assertEqual(body_element(root).tag, f"{{{WSD}}}KorvaneProbeMatches")
            self.assertEqual(root.findtext(f"{{{SOAP}}}Header/{{{WSA}}}Action"),
                             WSD + "/KorvaneProbeMatches")
            self.check_match(matches_of(root)[0], d)

    def test_unicast_probe_and_selection(self):
        d1, d2 = self.A[1], self.A[2]
        cases = [
            ("plain", d1["ip"], probe_body(), [d1["ip"]]),
            ("no device there", "198.18.0.250", probe_body(), []),
            ("other type", d1["ip"], probe_body(types="tds:Printer"), []),
            ("no types", d1["ip"], "<t:Probe/>", [d1["ip"]]),
            ("matching scope", d2["ip"],
             probe_body(scopes="onvif://www.onvif.org/hardware/" + d2["model"]), [d2["ip"]]),
            ("scope prefix", d2["ip"], probe_body(scopes="onvif://www.onvif.org/type"),
             [d2["ip"]]),
            ("other scope", d2["ip"], probe_body(scopes="onvif://www.onvif.org/name/Nobody"), []),
        ]
        for name, dest, body, expected in cases:
            with self.subTest(case=name):
                ep = Endpoint()
                try:
                    ep.send(body, dest)
                    got = ep.collect(0.5)
                finally:
                    ep.close()
                self.assertEqual([addr[0] for _, addr, _ in got], expected)
                for data, _, _ in got:
                    self.assertEqual(relates_to(parse(data)), ep.message_id)

    def request(self, element, device, dest=None, **kw):
        """Sends one configuration request; returns the answers as (root, source address)."""
        CamsimAnswers.seq += 1
        seq = CamsimAnswers.seq
        ep = Endpoint()
        try:
            ep.send(config_body(element, seq, device["serial"], device["mac"], **kw),
                    dest or device["ip"])
            got = ep.collect(0.6)
        finally:
            ep.close()
        out = []
        for data, addr, _ in got:
            root = parse(data)
            self.assertEqual(relates_to(root), ep.message_id)
            body = body_element(root)
            self.assertEqual(body.tag, f"{{{WSD}}}" + element.replace("Req", "Rsp"))
            self.assertEqual(body.findtext(f"{{{WSD}}}OpUserInfo/{{{WSD}}}MsgSeq"), str(seq))
            self.assertEqual(body.findtext(f"{{{WSD}}}DeviceInfo/{{{WSD}}}DeviceId"),
                             device["mac"])
            out.append((int(body.findtext(f"{{{WSD}}}result")), addr[0]))
        return out

    def test_configuration_results(self):
        d, other = self.A[21], self.A[22]
        good = scramble(d["password"])
        mask = "255.255.0.0"
        cases = [
            ("wrong password", "SetDeviceAddrReq",
             dict(auth=scramble("nope"), addr=("198.18.3.3", mask, "198.18.0.1")), 261),
            ("wrong user", "SetDeviceAddrReq",
             dict(user="guest", auth=good, addr=("198.18.3.3", mask, "198.18.0.1")), 261),
            ("no address", "SetDeviceAddrReq", dict(auth=good), 258),
            ("broadcast address", "SetDeviceAddrReq",
             dict(auth=good, addr=("198.18.3.255", mask, "198.18.0.1")), 258),
            ("bad mask", "SetDeviceAddrReq",
             dict(auth=good, addr=("198.18.3.3", "255.0.255.0", "198.18.0.1")), 258),
            ("another device's address", "SetDeviceAddrReq",
             dict(auth=good, addr=(other["ip"], mask, "198.18.0.1")), 262),
            ("the requester's address", "SetDeviceAddrReq",
             dict(auth=good, addr=(CLI_A, mask, "198.18.0.1")), 262),
            ("wrong serial code", "SetDefaultPasswdReq", dict(code="000000000000"), 260),
        ]
        for name, element, kw, result in cases:
            with self.subTest(case=name):
                self.assertEqual(self.request(element, d, **kw), [(result, d["ip"])])
        fixed = self.A[11]
        self.assertEqual(self.request("SetDefaultPasswdReq", fixed, code=fixed["code"]),
                         [(259, fixed["ip"])])

    def test_only_the_addressed_device_answers(self):
        d = self.A[22]
        # By broadcast and by multicast-free unicast to another device: only d itself answers.
        self.assertEqual(self.request("SetDefaultPasswdReq", d, dest="198.18.255.255",
                                      code="bad"), [(260, d["ip"])])
        self.assertEqual(self.request("SetDefaultPasswdReq", d, dest="255.255.255.255",
                                      code="bad"), [(260, d["ip"])])
        self.assertEqual(self.request("SetDefaultPasswdReq", d, dest=self.A[0]["ip"],
                                      code="bad"), [])
        wrong_mac = dict(d, mac="00:00:00:00:00:01")
        self.assertEqual(self.request("SetDefaultPasswdReq", wrong_mac, dest=d["ip"], code="bad"),
                         [])

    def probe_sources(self, dest):
        ep = Endpoint()
        try:
            ep.send(probe_body(), dest)
            return {addr[0]: parse(data) for data, addr, _ in ep.collect(0.6)}
        finally:
            ep.close()

    def test_address_move_and_password_restore(self):
        d = self.A[20]
        new_ip = MOVED_IP
        self.assertEqual(self.request("SetDeviceAddrReq", d, auth=scramble(d["password"]),
                                      addr=(new_ip, "255.255.0.0", "198.18.0.1")),
                         [(256, d["ip"])])
        self.assertEqual(self.probe_sources(d["ip"]), {})
        moved = self.probe_sources(new_ip)
        self.assertEqual(list(moved), [new_ip])
        self.assertEqual(matches_of(moved[new_ip])[0].findtext(f"{{{WSD}}}XAddrs"),
                         f"http://{new_ip}/onvif/device_service")
        everyone = self.probe_sources(GROUP)
        self.assertIn(new_ip, everyone)
        self.assertNotIn(d["ip"], everyone)
        # The old address is free again: another device may take it.
        other = self.A[23]
        self.assertEqual(self.request("SetDefaultPasswdReq", other, code=other["code"]),
                         [(256, other["ip"])])
        self.assertEqual(self.request("SetDeviceAddrReq", other, auth=scramble("admin"),
                                      addr=(d["ip"], "255.255.0.0", "198.18.0.1")),
                         [(256, other["ip"])])
        self.assertEqual(list(self.probe_sources(d["ip"])), [d["ip"]])

    def statistics(self):
        """camsim's statistics line, asked for with SIGUSR1, as a dict of numbers."""
        log, pid = os.environ["VLAN_CAMSIM_A_LOG"], int(os.environ["VLAN_CAMSIM_A_PID"])
        def lines():
            with open(log) as f:
                return [l for l in f if l.startswith("camsim stats:")]
        before = len(lines())
        os.kill(pid, signal.SIGUSR1)
        for _ in range(50):
            stats = lines()
            if len(stats) > before:
                return {k: int(v) for k, v in
                        (kv.split("=") for kv in stats[-1].split(":", 1)[1].split())}
            time.sleep(0.05)
        self.fail("no statistics line after SIGUSR1")

    def test_statistics_on_request(self):
        self.ep.send(probe_body(), self.A[0]["ip"])
        self.ep.collect(0.3, until=1)
        fields = self.statistics()
        self.assertGreaterEqual(fields["probes"], 1)
        self.assertEqual(fields["send_errors"], 0)

    def test_strict_and_lossy_devices(self):
        strict, lossy = self.A[24]["ip"], self.A[25]["ip"]
        action = f"<a:Action>{WSD}/Probe</a:Action>"
        cases = [("strict, no action", strict, "", []),
                 ("strict, action of another body", strict,
                  f"<a:Action>{WSD}/KorvaneProbe</a:Action>", []),
                 ("strict, its action", strict, action, [strict])]
        for name, dest, header, expected in cases:
            with self.subTest(case=name):
                ep = Endpoint()
                try:
                    ep.send(probe_body(), dest, header)
                    self.assertEqual([addr[0] for _, addr, _ in ep.collect(0.5)], expected)
                finally:
                    ep.close()
        dropped = self.statistics()["dropped"]
        self.ep.send(probe_body(), lossy, action)
        self.assertEqual(self.ep.collect(0.5), [])
        self.assertEqual(self.statistics()["dropped"], dropped + 1)


def main():
    if "VLAN_NAME" in os.environ:  # inside the client namespace
        unittest.main(argv=[sys.argv[0], "-v"])
        return
    if os.geteuid() != 0:
        print("camsim_answers: needs root for network namespaces; skipping")
        sys.exit(77)
    camsim, vlan = os.path.abspath(sys.argv[1]), sys.argv[2]
    cmd = [vlan, "run", f"ca{os.getpid()}", "--camsim", camsim,
           "--a", " ".join(ARGS_A), "--b", " ".join(ARGS_B), "--",
           sys.executable, os.path.abspath(__file__)]
    sys.exit(subprocess.run(cmd).returncode)


if __name__ == "__main__":
    main()
