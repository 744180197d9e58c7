// The list page against the real server: listing, playing on both of the
// page's roads (the browser's own HLS, and hls.js), and its failure messages.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { collectPageErrors, hideNativeHls, openBrowser } from './browser.mjs';
import { waitForList, waitForPlayback } from './pages.mjs';
import { PATHS, startServer, windowsPath } from './server.mjs';
import { makeTestVideos, videoNames } from './videos.mjs';

const PLAYED = 'Été à Zürich.mp4';
// Copied in before the server starts and deleted while it is listed.
const VANISHING = 'Gone soon.mp4';
// Past 15 s the player has played into the second 10-second segment.
const PAST_SECOND_SEGMENT = 15;
const PLAYBACK_TIMEOUT_MS = 90000;

const folders = makeTestVideos(path.join(PATHS.build, 'web-tests'));
const folder = folders['videos one'];
// The vanishing video lies in a folder of this test's own, since the other
// browser tests list 'videos one' at the same time.
const ownFolder = path.join(PATHS.build, 'web-tests', 'list test only');
fs.mkdirSync(ownFolder, { recursive: true });
fs.copyFileSync(path.join(folder, 'C++ talk.mp4'), path.join(ownFolder, VANISHING));
const server = await startServer('list-server', {
  extensions: ['mp4'], share: false, folders: [windowsPath(folder), windowsPath(ownFolder)],
});

describe('the list page', () => {
  let browser;
  before(async () => {
    browser = await openBrowser();
  });
  after(async () => {
    await browser?.close();
    await server.stop();
    fs.rmSync(ownFolder, { recursive: true, force: true });
  });

  async function openList(t, { nativeHls = true } = {}) {
    const page = await browser.context.newPage();
    t.after(() => page.close());
    if (!nativeHls) {
      await hideNativeHls(page);
    }
    const errors = collectPageErrors(page);
    const requests = [];
    page.on('request', (request) => requests.push(decodeURIComponent(request.url())));
    await page.goto(server.base + '/');
    await waitForList(page, [...videoNames('videos one'), VANISHING]);
    return { page, errors, requests };
  }

  test('lists the videos of the configured folders, and no other file', async (t) => {
    const { page, errors } = await openList(t);
    await assert.doesNotReject(page.getByText('4 videos').waitFor());
    await page.fill('#filter', 'zür');
    assert.deepEqual(await page.locator('button.video').allTextContents(), [PLAYED]);
    assert.deepEqual(errors, []);
  });

  async function playPastSecondSegment(t, options) {
    const { page, errors, requests } = await openList(t, options);
    await page.getByRole('button', { name: PLAYED }).click();
    await waitForPlayback(page, PAST_SECOND_SEGMENT, PLAYBACK_TIMEOUT_MS);
    const segments = requests.filter((url) => url.includes(`/v/${PLAYED}?ss=`));
    assert.ok(segments.some((url) => url.endsWith('?ss=10')), `second segment fetched: ${segments}`);
    assert.deepEqual(errors, []);
    return { page, requests };
  }

  test('plays a video past its second segment with the browser\'s own HLS', async (t) => {
    const { page, requests } = await playPastSecondSegment(t, { nativeHls: true });
    if (await page.evaluate(() => document.getElementById('video').canPlayType('application/vnd.apple.mpegurl'))) {
      assert.ok(!requests.some((url) => url.endsWith('/hls.light.min.js')), 'hls.js left unloaded');
    } else {
      t.diagnostic('this Chromium has no HLS of its own: it played through hls.js');
    }
  });

  test('plays a video past its second segment through hls.js', async (t) => {
    const { requests } = await playPastSecondSegment(t, { nativeHls: false });
    assert.ok(requests.some((url) => url.endsWith('/hls.light.min.js')), 'hls.js loaded');
  });

  for (const nativeHls of [true, false]) {
    test(`says so when a listed video is gone (${nativeHls ? 'own HLS' : 'hls.js'})`, async (t) => {
      const { page } = await openList(t, { nativeHls });
      fs.rmSync(path.join(ownFolder, VANISHING), { force: true });
      t.after(() => fs.copyFileSync(path.join(folder, 'C++ talk.mp4'), path.join(ownFolder, VANISHING)));
      await page.getByRole('button', { name: VANISHING }).click();
      const message = page.locator('#player-message');
      await message.waitFor({ state: 'visible', timeout: 30000 });
      assert.match(await message.textContent(), /could not be (played|loaded)/);
    });
  }

  test('says so when the program cannot be reached', async (t) => {
    const { page } = await openList(t);
    await server.stop();
    await page.click('#reload');
    await page.getByText('Could not reach Zarudodo Vudade').waitFor();
    assert.equal(await page.locator('button.video').count(), 0);
  });
});
