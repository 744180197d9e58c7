// The list page against the real server: listing, playing on both of the
// page's roads (the browser's own HLS, and hls.js), seeking, and its failure
// messages.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { browserForTests, collectPageErrors, hideNativeHls } from './browser.mjs';
import { waitForList, waitForPlayback } from './pages.mjs';
import { PATHS, startServer, windowsPath } from './server.mjs';
import { SEEKED_NAME, SEEKED_SECONDS, makeTestVideos, videoNames } from './videos.mjs';

const PLAYED = 'Été à Zürich.mp4';
// Copied in before the server starts and deleted while it is listed.
const VANISHING = 'Gone soon.mp4';
// The head of a real video, then noise.
const DAMAGED = 'Damaged.mp4';
// Past 15 s the player has played into the second 10-second segment.
const PAST_SECOND_SEGMENT = 15;
const PLAYBACK_TIMEOUT_MS = 90000;
// A seek starts a new transcoder at the new place; a few seconds are the
// aim, more are allowed for a loaded machine.
const SEEK_TIMEOUT_MS = 30000;

const folders = makeTestVideos(path.join(PATHS.build, 'web-tests'));
const folder = folders['videos one'];
// The vanishing video lies in a folder of this test's own, since the other
// browser tests list 'videos one' at the same time.
const ownFolder = path.join(PATHS.build, 'web-tests', 'list test only');
fs.mkdirSync(ownFolder, { recursive: true });
fs.copyFileSync(path.join(folder, 'C++ talk.mp4'), path.join(ownFolder, VANISHING));
fs.writeFileSync(path.join(ownFolder, DAMAGED), Buffer.concat([
  fs.readFileSync(path.join(folder, PLAYED)).subarray(0, 2000), Buffer.alloc(50000, 0x5a)]));
const server = await startServer('list-server', {
  extensions: ['mp4'], share: false, folders: [windowsPath(folder), windowsPath(ownFolder)],
});

describe('the list page', () => {
  const browser = browserForTests(server.stop, () => fs.rmSync(ownFolder, { recursive: true, force: true }));

  async function openList(t, { nativeHls = true } = {}) {
    const page = await browser.newPage(t);
    if (!nativeHls) {
      await hideNativeHls(page);
    }
    const errors = collectPageErrors(page);
    const requests = [];
    page.on('request', (request) => requests.push(decodeURIComponent(request.url())));
    await page.goto(server.base + '/');
    await waitForList(page, [...videoNames('videos one'), VANISHING, DAMAGED]);
    return { page, errors, requests };
  }

  test('lists the videos of the configured folders, and no other file', async (t) => {
    const { page, errors } = await openList(t);
    await assert.doesNotReject(page.getByText('6 videos').waitFor());
    // Like the sort, the filter ignores case and accents.
    for (const filter of ['zür', 'ZUR']) {
      await page.fill('#filter', filter);
      assert.deepEqual(await page.locator('button.video').allTextContents(), [PLAYED]);
    }
    assert.deepEqual(errors, []);
  });

  test('plays a video past its second segment with the browser\'s own HLS', async (t) => {
    const { page, errors, requests } = await openList(t);
    await page.getByRole('button', { name: PLAYED }).click();
    await waitForPlayback(page, PAST_SECOND_SEGMENT, PLAYBACK_TIMEOUT_MS);
    const segments = requests.filter((url) => url.includes(`/v/${PLAYED}?ss=`));
    assert.ok(segments.some((url) => url.endsWith('?ss=10')), `second segment fetched: ${segments}`);
    assert.deepEqual(errors, []);
    if (await page.evaluate(() => document.getElementById('video').canPlayType('application/vnd.apple.mpegurl'))) {
      assert.ok(!requests.some((url) => url.endsWith('/hls.light.min.js')), 'hls.js left unloaded');
    } else {
      t.diagnostic('this Chromium has no HLS of its own: it played through hls.js');
    }
  });

  test('hls.js resumes after seeks to the middle, near the end and back, the duration kept', async (t) => {
    const { page, errors } = await openList(t, { nativeHls: false });
    await page.getByRole('button', { name: SEEKED_NAME }).click();
    await waitForPlayback(page, 1, PLAYBACK_TIMEOUT_MS);
    const resumed = [];
    for (const target of [SEEKED_SECONDS / 2, SEEKED_SECONDS - 15, 20]) {
      const framesBefore = await page.evaluate(() =>
        document.getElementById('video').getVideoPlaybackQuality().totalVideoFrames);
      const began = Date.now();
      await page.evaluate((to) => { document.getElementById('video').currentTime = to; }, target);
      await waitForPlayback(page, target + 1, SEEK_TIMEOUT_MS);
      resumed.push(`${target} s: ${((Date.now() - began) / 1000).toFixed(1)} s`);
      const state = await page.evaluate(() => {
        const video = document.getElementById('video');
        return { duration: video.duration, frames: video.getVideoPlaybackQuality().totalVideoFrames };
      });
      assert.ok(Math.abs(state.duration - SEEKED_SECONDS) < 1, `duration ${state.duration} after a seek to ${target}`);
      assert.ok(state.frames >= framesBefore + 25, `the picture moves after a seek to ${target}`);
    }
    t.diagnostic(`seek to playing a second further: ${resumed.join(', ')}`);
    assert.deepEqual(errors, []);
  });

  // Which failure it is, and nothing left spinning under the message.
  const failures = [
    { what: 'a listed video is gone', name: VANISHING, text: /no longer on the computer/ },
    { what: 'a video is damaged', name: DAMAGED, text: /could not read this video/ },
  ];
  for (const { what, name, text } of failures) {
    for (const nativeHls of [true, false]) {
      test(`says so when ${what} (${nativeHls ? 'own HLS' : 'hls.js'})`, async (t) => {
        const { page } = await openList(t, { nativeHls });
        if (name === VANISHING) {
          fs.rmSync(path.join(ownFolder, VANISHING), { force: true });
          t.after(() => fs.copyFileSync(path.join(folder, 'C++ talk.mp4'), path.join(ownFolder, VANISHING)));
        }
        await page.getByRole('button', { name }).click();
        await expectPlayerMessage(page, text);
      });
    }
  }

  async function expectPlayerMessage(page, text) {
    const message = page.locator('#player-message');
    await message.filter({ hasText: text }).waitFor({ timeout: 30000 });
    assert.ok(await page.evaluate(() => {
      const video = document.getElementById('video');
      return video.hidden && video.networkState === HTMLMediaElement.NETWORK_EMPTY;
    }), 'the player stopped');
  }

  test('says so when the program cannot be reached', async (t) => {
    const { page } = await openList(t);
    await server.stop();
    await page.getByRole('button', { name: PLAYED }).click();
    await expectPlayerMessage(page, /Could not reach Zarudodo Vudade/);
    await page.click('#reload');
    await page.locator('#list-message').getByText('Could not reach Zarudodo Vudade').waitFor();
    assert.equal(await page.locator('button.video').count(), 0);
  });
});
