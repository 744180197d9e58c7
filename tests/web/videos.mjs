// Test videos, made once by scripts/make-test-video and kept in the build tree.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const LONG_NAME =
  'A_very_long_file_name_without_any_blanks_recorded_on_holiday_2023_08_14_part_two.mp4';
// Several minutes, for seeking.
export const SEEKED_NAME = 'Three minutes.mp4';
export const SEEKED_SECONDS = 180;

// Folder name -> { file name: seconds }. Names hold blanks, non-ASCII
// letters and a '+', which the server reads as a blank unless it is escaped.
const FOLDERS = {
  'videos one': {
    'Été à Zürich.mp4': 32,
    'C++ talk.mp4': 3,
    [LONG_NAME]: 3,
    [SEEKED_NAME]: SEEKED_SECONDS,
  },
  'videos two': {
    'Second folder clip.mp4': 3,
  },
};

const MAKE_VIDEO = fileURLToPath(new URL('../../scripts/make-test-video', import.meta.url));

// Returns the folder paths by name; a file that is not a video lies beside
// the videos to show that it is left out.
export function makeTestVideos(root) {
  const folders = {};
  for (const [folder, files] of Object.entries(FOLDERS)) {
    const dir = path.join(root, folder);
    fs.mkdirSync(dir, { recursive: true });
    for (const [name, seconds] of Object.entries(files)) {
      const file = path.join(dir, name);
      // The length is kept beside the folder: a video is made again when it changes.
      const stamp = path.join(`${dir}.lengths`, name);
      if (!fs.existsSync(file) || !fs.existsSync(stamp) || fs.readFileSync(stamp, 'utf8') !== String(seconds)) {
        execFileSync(MAKE_VIDEO, [String(seconds), file], { stdio: ['ignore', 'ignore', 'inherit'] });
        fs.mkdirSync(path.dirname(stamp), { recursive: true });
        fs.writeFileSync(stamp, String(seconds));
      }
    }
    fs.writeFileSync(path.join(dir, 'notes.txt'), 'not a video\n');
    folders[folder] = dir;
  }
  return folders;
}

export function videoNames(folder) {
  return Object.keys(FOLDERS[folder]);
}
