// Starts the real zarudodo-server.exe from dist/ under the build tree's Wine
// prefix, with its own settings file pointing at the test videos.
import { execFileSync, spawn } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const ROOT = fileURLToPath(new URL('../..', import.meta.url));
const START_TIMEOUT_MS = 60000;
const STOP_TIMEOUT_MS = 10000;
// The server tries the following ports when its own is taken.
const PORT_SEARCH = 10;

// The paths of the build tree, as the scripts compute them.
function buildPaths() {
  const output = execFileSync('bash', ['-c',
    'source scripts/lib.sh && wine_env && printf "%s\\n%s\\n%s" "$BUILD" "$DIST" "$WINEPREFIX"'],
  { cwd: ROOT, encoding: 'utf8' });
  const [build, dist, prefix] = output.split('\n');
  return { build, dist, prefix };
}

export const PATHS = buildPaths();

// A Linux path as the server sees it through Wine's Z: drive.
export function windowsPath(linuxPath) {
  return 'Z:' + path.resolve(linuxPath).replaceAll('/', '\\');
}

function appDataFolder() {
  const users = path.join(PATHS.prefix, 'drive_c', 'users');
  const names = fs.existsSync(users) ? fs.readdirSync(users).filter((name) => name !== 'Public') : [];
  const user = names.length === 1 ? names[0] : os.userInfo().username;
  return path.join(users, user, 'AppData', 'Roaming');
}

async function freePort() {
  for (let port = 20000 + crypto.randomInt(30000); ; port += PORT_SEARCH + 1) {
    const probe = net.createServer();
    if (await new Promise((resolve) => {
      probe.once('error', () => resolve(false));
      probe.listen(port, () => probe.close(() => resolve(true)));
    })) {
      return port;
    }
  }
}

// GET or POST on loopback; resolves to { status, type, body } or null when
// nothing answered in time.
export function httpRequest(port, target, { method = 'GET', body, timeout = 3000 } = {}) {
  return new Promise((resolve) => {
    const request = http.request({
      host: '127.0.0.1', port, path: target, method, agent: false, timeout,
      headers: body === undefined ? {} : {
        'Content-Type': 'application/x-www-form-urlencoded',
        'Content-Length': Buffer.byteLength(body),
      },
    }, (response) => {
      const chunks = [];
      response.on('data', (chunk) => chunks.push(chunk));
      response.on('end', () => resolve({
        status: response.statusCode,
        type: response.headers['content-type'],
        body: Buffer.concat(chunks).toString('utf8'),
      }));
      response.on('error', () => resolve(null));
    });
    request.on('timeout', () => request.destroy());
    request.on('error', () => resolve(null));
    request.end(body);
  });
}

async function answersWithMarker(port, marker) {
  const reply = await httpRequest(port, '/db?getconfig');
  try {
    return reply?.status === 200 && JSON.parse(reply.body).config.webTestMarker === marker;
  } catch {
    return false;
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The server under the build's Wine prefix, the end of its output kept.
function runUnderWine(exe, cwd) {
  const child = spawn(path.join(ROOT, 'scripts', 'wine-run'), [exe], { cwd, stdio: 'pipe' });
  child.output = '';
  const keep = (chunk) => { child.output = (child.output + chunk.toString('utf8')).slice(-200000); };
  child.stdout.on('data', keep);
  child.stderr.on('data', keep);
  child.exited = new Promise((resolve) => child.once('exit', resolve));
  return child;
}

// Closing standard input ends it.
async function endProgram(child) {
  child.stdin.end();
  const timer = setTimeout(() => child.kill('SIGKILL'), STOP_TIMEOUT_MS);
  await child.exited;
  clearTimeout(timer);
}

// settings: the keys of the settings file, without the port (chosen here).
// Resolves to { port, base, settingsFile, marker, stop() }; stop() may be called
// more than once, and leaves the server's output in build/web-tests/NAME.log.
export async function startServer(name, settings) {
  const exe = path.join(PATHS.dist, 'zarudodo-server.exe');
  const folder = appDataFolder();
  const settingsFile = path.join(folder, 'quorvelan.conf');
  const earlier = fs.existsSync(settingsFile) ? fs.readFileSync(settingsFile) : null;
  const marker = crypto.randomUUID();
  const port = await freePort();
  fs.mkdirSync(folder, { recursive: true });
  fs.writeFileSync(settingsFile, JSON.stringify({ port, ...settings, webTestMarker: marker }));

  const child = runUnderWine(exe, PATHS.dist);
  let stopping = null;
  const stop = () => (stopping ??= stopAndRestore());
  const stopAndRestore = async () => {
    await endProgram(child);
    fs.mkdirSync(path.join(PATHS.build, 'web-tests'), { recursive: true });
    fs.writeFileSync(path.join(PATHS.build, 'web-tests', `${name}.log`), child.output);
    earlier ? fs.writeFileSync(settingsFile, earlier) : fs.rmSync(settingsFile, { force: true });
  };

  const deadline = Date.now() + START_TIMEOUT_MS;
  while (Date.now() < deadline && child.exitCode === null && child.signalCode === null) {
    for (let candidate = port; candidate <= port + PORT_SEARCH; candidate += 1) {
      if (await answersWithMarker(candidate, marker)) {
        return { port: candidate, base: `http://127.0.0.1:${candidate}`, settingsFile, marker, stop };
      }
    }
    await sleep(250);
  }
  await stop();
  throw new Error(`zarudodo-server.exe did not answer /db?getconfig within ${START_TIMEOUT_MS} ms ` +
    `(exit code ${child.exitCode}). Its output:\n${child.output}`);
}
