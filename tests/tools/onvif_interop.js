// Runs the third-party WS-Discovery client of the npm package "onvif" against the simulated
// cameras and checks that it finds every one of them with its address, XAddrs and scopes.
// usage: node onvif_interop.js MODULE_DIR IFACE EXPECTED.json [IFACE EXPECTED.json ...]
'use strict';

const path = require('path');
const fs = require('fs');

const [moduleDir, ...rest] = process.argv.slice(2);
const { Discovery } = require(path.join(moduleDir, 'node_modules', 'onvif'));

function probe(device) {
  return new Promise((resolve) => {
    const seen = new Map();
    const onDevice = (data, rinfo) => {
      const match = data.probeMatches.probeMatch;
      seen.set(match.endpointReference.address, { match, from: rinfo.address, count: (seen.get(match.endpointReference.address)?.count || 0) + 1 });
    };
    Discovery.on('device', onDevice);
    Discovery.probe({ timeout: 1500, resolve: false, device }, (err) => {
      Discovery.removeListener('device', onDevice);
      resolve({ seen, err });
    });
  });
}

function text(value) {
  // xml2js gives either a string or { _: text, $: attributes }.
  return typeof value === 'object' && value !== null ? value._ : value;
}

async function main() {
  let failures = 0;
  const fail = (message) => { failures++; console.error('FAIL: ' + message); };
  Discovery.on('error', () => {});  // wrong datagrams are counted by the probe callback
  for (let i = 0; i + 1 < rest.length; i += 2) {
    const iface = rest[i];
    const expected = JSON.parse(fs.readFileSync(rest[i + 1], 'utf8')).filter((d) => !d.silent);
    const { seen, err } = await probe(iface);
    if (err) fail(`${iface}: probe reported ${err}`);
    if (seen.size !== expected.length) fail(`${iface}: found ${seen.size} devices, expected ${expected.length}`);
    for (const d of expected) {
      const got = seen.get(d.uuid);
      if (!got) { fail(`${iface}: ${d.ip} (${d.uuid}) not found`); continue; }
      if (got.from !== d.ip) fail(`${d.ip}: answer came from ${got.from}`);
      if (text(got.match.XAddrs) !== d.xaddrs) fail(`${d.ip}: XAddrs ${text(got.match.XAddrs)}`);
      if (text(got.match.scopes) !== d.scopes) fail(`${d.ip}: scopes ${text(got.match.scopes)}`);
    }
    console.log(`${iface}: found ${seen.size} of ${expected.length} simulated cameras`);
  }
  process.exit(failures ? 1 : 0);
}

main();
