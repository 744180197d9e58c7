// The list page against the real server: filtering, playing and seeking on
// both of the page's roads (the browser's own HLS, and hls.js), its failure
// messages, and its layout on a phone.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { browserForTests, checkPhoneLayout, collectPageErrors, waitForList } from './browser.mjs';
import { PLAYED, PLAYED_SECONDS, VIDEOS, startServer, videoFolder, videoNames, windowsPath } from './server.mjs';

// Listed, then deleted, one for each road: the first request that finds it
// gone drops it from the list.
const VANISHING = { 'own HLS': 'Gone soon.mp4', 'hls.js': 'Gone later.mp4' };
const DAMAGED = 'Damaged.mp4';
// Past 15 s the player has played into the second 10-second segment.
const PAST_SECOND_SEGMENT = 15;
const PLAYBACK_TIMEOUT_MS = 90000;
// A seek starts a new transcoder at the new place; a few seconds are the
// aim, more are allowed for a loaded machine.
const SEEK_TIMEOUT_MS = 30000;

const ownFolder = path.join(VIDEOS, 'list test only');
fs.mkdirSync(ownFolder, { recursive: true });
Object.values(VANISHING).forEach((name) => fs.writeFileSync(path.join(ownFolder, name), 'never played'));
fs.writeFileSync(path.join(ownFolder, DAMAGED), Buffer.alloc(50000, 0x5a));
const server = await startServer('list-server', {
  extensions: ['mp4'], share: false, folders: [windowsPath(videoFolder('videos one')), windowsPath(ownFolder)],
});

// Resolves once the video has played past the given second; fails at once
// when the video or the player reports an error instead.
async function waitForPlayback(page, seconds, timeout) {
  const reached = await page.waitForFunction((limit) => {
    const video = document.getElementById('video');
    const error = (video.error && `media error ${video.error.code}`) ||
      document.getElementById('player-message').textContent;
    return (video.currentTime > limit || error) && { time: video.currentTime, error };
  }, seconds, { timeout, polling: 250 });
  const { time, error } = await reached.jsonValue();
  assert.equal(error, '', `the player's error at ${time} s`);
}

function listed() {
  const vanishing = Object.values(VANISHING).filter((name) => fs.existsSync(path.join(ownFolder, name)));
  return [...videoNames('videos one'), ...vanishing, DAMAGED];
}

describe('the list page', () => {
  const browser = browserForTests(server.stop);

  async function openList(t, nativeHls) {
    const page = await browser.newPage(t);
    if (!nativeHls) {
      // As a browser without HLS of its own, so that the page takes hls.js.
      await page.addInitScript(() => {
        const canPlayType = HTMLMediaElement.prototype.canPlayType;
        HTMLMediaElement.prototype.canPlayType = function (type) {
          return /mpegurl/i.test(type) ? '' : canPlayType.call(this, type);
        };
      });
    }
    const errors = collectPageErrors(page);
    const requests = [];
    page.on('request', (request) => requests.push(decodeURIComponent(request.url())));
    await page.goto(server.base + '/');
    await waitForList(page, listed());
    return { page, errors, requests };
  }

  // Which failure it is, and nothing left spinning under the message.
  async function expectPlayerMessage(page, text) {
    await page.locator('#player-message').filter({ hasText: text }).waitFor({ timeout: 30000 });
    assert.ok(await page.evaluate(() => {
      const video = document.getElementById('video');
      return video.hidden && video.networkState === HTMLMediaElement.NETWORK_EMPTY;
    }), 'the player stopped');
  }

  for (const nativeHls of [true, false]) {
    const road = nativeHls ? 'own HLS' : 'hls.js';
    test(`plays past the second segment and resumes after seeks, the duration kept (${road})`, async (t) => {
      const { page, errors, requests } = await openList(t, nativeHls);
      // Like the sort, the filter ignores case and accents.
      for (const filter of ['zür', 'ZUR']) {
        await page.fill('#filter', filter);
        assert.deepEqual(await page.locator('button.video').allTextContents(), [PLAYED]);
      }
      // Room to scroll, as a long list gives: the player is scrolled to on a
      // tap, and its title must come out below the sticky title bar.
      await page.evaluate(() => { document.querySelector('main').style.paddingBottom = '3000px'; });
      await page.getByRole('button', { name: PLAYED }).click();
      await waitForPlayback(page, PAST_SECOND_SEGMENT, PLAYBACK_TIMEOUT_MS);
      const gap = await page.evaluate(() => document.getElementById('now-playing').getBoundingClientRect().top -
        document.querySelector('.bar').getBoundingClientRect().bottom);
      assert.ok(gap >= 0, `the title bar covers ${-gap} px of the player's title`);
      assert.ok(requests.some((url) => url.endsWith(`/v/${PLAYED}/10.ts`)), 'the second segment fetched');
      for (const target of [PLAYED_SECONDS / 2, PLAYED_SECONDS - 15, 20]) {
        const framesBefore = await page.evaluate(() =>
          document.getElementById('video').getVideoPlaybackQuality().totalVideoFrames);
        await page.evaluate((to) => { document.getElementById('video').currentTime = to; }, target);
        await waitForPlayback(page, target + 1, SEEK_TIMEOUT_MS);
        const state = await page.evaluate(() => {
          const video = document.getElementById('video');
          return { duration: video.duration, frames: video.getVideoPlaybackQuality().totalVideoFrames };
        });
        assert.ok(Math.abs(state.duration - PLAYED_SECONDS) < 1, `duration ${state.duration} at ${target}`);
        assert.ok(state.frames >= framesBefore + 25, `the picture moves after a seek to ${target}`);
      }
      assert.deepEqual(errors, []);
      assert.equal(requests.some((url) => url.endsWith('/hls.light.min.js')), !nativeHls, 'hls.js only where needed');
      await page.evaluate(() => { document.querySelector('main').style.paddingBottom = ''; });
      await checkPhoneLayout(page, 'index');
    });

    test(`says so when a listed video is gone or damaged (${road})`, async (t) => {
      const { page } = await openList(t, nativeHls);
      fs.rmSync(path.join(ownFolder, VANISHING[road]), { force: true });
      await page.getByRole('button', { name: VANISHING[road] }).click();
      await expectPlayerMessage(page, /no longer on the computer/);
      await waitForList(page, listed());  // as the message advises, a refreshed list drops it
      await page.getByRole('button', { name: DAMAGED }).click();
      await expectPlayerMessage(page, /could not read this video/);
    });
  }

  test('says so when the program cannot be reached', async (t) => {
    const { page } = await openList(t, true);
    await server.stop();
    await page.getByRole('button', { name: PLAYED }).click();
    await expectPlayerMessage(page, /Could not reach Zarudodo Vudade/);
    await page.click('#reload');
    await page.locator('#list-message').getByText('Could not reach Zarudodo Vudade').waitFor();
    assert.equal(await page.locator('button.video').count(), 0);
  });
});
