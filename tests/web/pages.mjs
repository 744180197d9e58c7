// Steps on the pages that several tests take.
import assert from 'node:assert/strict';

const LIST_TIMEOUT_MS = 30000;

// The folder scan runs in the background, so the list is refreshed until it
// holds exactly the expected names.
export async function waitForList(page, expected) {
  const want = [...expected].sort();
  const deadline = Date.now() + LIST_TIMEOUT_MS;
  let shown = [];
  while (Date.now() < deadline) {
    await page.locator('#reload:enabled').waitFor();
    shown = (await page.locator('button.video').allTextContents()).sort();
    if (JSON.stringify(shown) === JSON.stringify(want)) {
      return;
    }
    await page.waitForTimeout(500);
    await page.click('#reload');
  }
  assert.deepEqual(shown, want, 'the list of videos');
}

// Resolves once the video has played past the given second, or fails with
// what the player showed instead.
export async function waitForPlayback(page, seconds, timeout) {
  try {
    await page.waitForFunction((limit) => {
      const video = document.getElementById('video');
      return video.currentTime > limit || video.error !== null ||
        !document.getElementById('player-message').hidden;
    }, seconds, { timeout, polling: 250 });
  } catch (error) {
    // Timed out: the checks below say where playback stood.
  }
  const state = await page.evaluate(() => {
    const video = document.getElementById('video');
    return {
      currentTime: video.currentTime,
      error: video.error && `${video.error.code} ${video.error.message}`,
      message: document.getElementById('player-message').textContent,
    };
  });
  assert.equal(state.error, null, 'the video element reports no error');
  assert.equal(state.message, '', 'the player shows no error');
  assert.ok(state.currentTime > seconds, `playback reached ${state.currentTime} s, not past ${seconds} s`);
}
