// The real zarudodo-server.exe under Wine, started by serve.py with the
// end-to-end tests' machinery, on test videos in the build tree.
import { spawn } from 'node:child_process';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';

export const VIDEOS = path.join(process.env.ZARUDODO_BUILD, 'web-tests');
// Several minutes, for seeking. Blanks, letters outside ASCII and a '+' (read
// as a blank unless escaped) in its name, and a word too long for a phone.
export const PLAYED = 'Été à Zürich, C++ and A_long_word_without_blanks_recorded_on_holiday_2023_08_14.mp4';
export const PLAYED_SECONDS = 180;
// Folder -> { file name: seconds }.
const FOLDERS = {
  'videos one': { [PLAYED]: PLAYED_SECONDS },
  'videos two': { 'Second folder clip.mp4': 3 },
};

export const videoNames = (folder) => Object.keys(FOLDERS[folder]);
export const videoFolder = (folder) => path.join(VIDEOS, folder);

// A Linux path as the server sees it through Wine's Z: drive.
export function windowsPath(linuxPath) {
  return 'Z:' + path.resolve(linuxPath).replaceAll('/', '\\');
}

// Makes the videos of FOLDERS (a text file beside them, nothing else), then
// starts the server with settings (every key but the port). Resolves to
// { base, settingsFile, stop() } once it answers; stop() may be called more
// than once, and leaves its output in build/web-tests/NAME.log.
export async function startServer(name, settings) {
  const serve = fileURLToPath(new URL('serve.py', import.meta.url));
  const child = spawn('python3', [serve, name, JSON.stringify(settings), JSON.stringify(FOLDERS)],
    { stdio: ['pipe', 'pipe', 'inherit'] });
  const exited = new Promise((resolve) => child.once('exit', resolve));
  let stopping = null;
  for await (const line of readline.createInterface({ input: child.stdout })) {
    const { port, settingsFile } = JSON.parse(line);
    const stop = () => (stopping ??= (child.stdin.end(), exited));
    return { base: `http://127.0.0.1:${port}`, settingsFile, stop };
  }
  throw new Error(`serve.py ended with exit code ${await exited} before the server answered`);
}
