// The settings page against the real server: it refuses bad values before
// sending, saves changed folders without losing keys it does not know (so it
// showed what the server holds), and the list page then shows the new
// folder's videos.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { describe, test } from 'node:test';
import { browserForTests, collectPageErrors } from './browser.mjs';
import { waitForList } from './pages.mjs';
import { PATHS, httpRequest, startServer, windowsPath } from './server.mjs';
import { makeTestVideos, videoNames } from './videos.mjs';

const root = path.join(PATHS.build, 'web-tests');
const folders = makeTestVideos(root);
const emptyFolder = path.join(root, 'no videos here');
fs.mkdirSync(emptyFolder, { recursive: true });
const FIRST = windowsPath(folders['videos one']);
const SECOND = windowsPath(folders['videos two']);
// A key of a later version, which the page must send back unchanged.
const UNKNOWN = { nested: [1, 'two', { three: null }], flag: true };

const server = await startServer('configure-server', {
  extensions: ['mp4'], share: false, folders: [FIRST], unknownKey: UNKNOWN,
});

async function serverSettings() {
  const reply = await httpRequest(server.port, '/db?getconfig');
  assert.equal(reply?.status, 200);
  return JSON.parse(reply.body).config;
}

describe('the settings page', () => {
  const browser = browserForTests(server.stop);

  async function openSettings(t) {
    const page = await browser.newPage(t);
    const errors = collectPageErrors(page);
    const posts = [];
    page.on('request', (request) => request.method() === 'POST' && posts.push(request.postData()));
    await page.goto(server.base + '/configure.html');
    await page.locator('#settings').waitFor();
    return { page, errors, posts };
  }

  const rows = (page, list) => page.locator(`#${list} input`);

  async function save(page) {
    await page.click('#save');
    const message = page.locator('#save-message');
    await page.locator('#save:enabled').waitFor();
    await message.waitFor({ state: 'visible' });
    return message.textContent();
  }

  test('refuses bad values with a message, and sends nothing', async (t) => {
    const { page, posts } = await openSettings(t);
    const before = fs.readFileSync(server.settingsFile, 'utf8');
    const refusals = [
      [async () => page.fill('#port', '0'), /port must be a whole number from 1 to 65535/],
      [async () => page.fill('#port', '80a'), /port must be/],
      [async () => rows(page, 'extensions').first().fill('.'), /Extension 1 is empty/],
      [async () => rows(page, 'extensions').first().fill('m p4'), /Extension 1 .* may not hold/],
      [async () => page.click('#add-extension'), /Extension 2 is empty/],
      [async () => {
        await page.click('#add-extension');
        await rows(page, 'extensions').last().fill('.mp4');
      }, /extension "mp4" is listed twice/],
      [async () => page.click('#extensions button.remove'), /at least one extension/, 0],
      [async () => page.click('#add-folder'), /Folder 2 is empty/],
      [async () => {
        await page.click('#add-folder');
        await rows(page, 'folders').last().fill(FIRST.toUpperCase());
      }, /is listed twice/],
    ];
    for (const [spoil, expected, fieldsMarked = 1] of refusals) {
      await page.click('#undo');
      await spoil();
      const message = await save(page);
      assert.match(message, expected);
      assert.match(message, /Nothing was saved/);
      assert.equal(await page.locator('[aria-invalid="true"]').count(), fieldsMarked);
    }
    assert.deepEqual(posts, []);
    assert.equal(fs.readFileSync(server.settingsFile, 'utf8'), before);
  });

  // The folder search matches extensions exactly: phones write ".MOV".
  test('saves changed folders and extensions that differ only in case, keeps unknown keys, ' +
    'and the list shows the new folder', async (t) => {
    const { page, errors, posts } = await openSettings(t);
    const before = await serverSettings();
    for (const extension of ['MOV', 'mov']) {
      await page.click('#add-extension');
      await rows(page, 'extensions').last().fill(extension);
    }
    await page.click('#add-folder');
    await rows(page, 'folders').last().fill(SECOND);
    await page.click('#folders button.remove >> nth=0');
    assert.match(await save(page), /^Settings saved\. The folders are being searched again/);
    assert.equal(posts.length, 1);
    assert.match(posts[0], /^setconfig=&config=/);

    const expected = { ...before, extensions: [...before.extensions, 'MOV', 'mov'], folders: [SECOND] };
    assert.deepEqual(await serverSettings(), expected);
    assert.deepEqual(JSON.parse(fs.readFileSync(server.settingsFile, 'utf8')), expected);
    await page.goto(server.base + '/');
    await waitForList(page, videoNames('videos two'));
    assert.deepEqual(errors, []);
  });

  test('an empty list says so, and fills in by itself once videos are found', async (t) => {
    const { page } = await openSettings(t);
    await rows(page, 'folders').first().fill(windowsPath(emptyFolder));
    assert.match(await save(page), /^Settings saved/);
    const listPage = await browser.newPage(t);
    await listPage.goto(server.base + '/');
    await waitForList(listPage, []);
    await listPage.getByText('No videos found yet.').waitFor();

    await rows(page, 'folders').first().fill(SECOND);
    assert.match(await save(page), /^Settings saved/);
    const [name] = videoNames('videos two');
    await listPage.getByRole('button', { name }).waitFor({ timeout: 30000 });
    await listPage.locator('#list-message').getByText('1 video').waitFor();
  });

  test('reports the program\'s refusal of the settings', async (t) => {
    const { page } = await openSettings(t);
    const before = await serverSettings();
    // Spoils the sent text on its way, so that the program itself refuses it.
    await page.route('**/db', (route) => route.continue({ postData: 'setconfig=&config=%7B%22port%22%3A' }));
    await page.fill('#port', '2000');
    assert.match(await save(page), /refused the settings \(syntax error\)\. Nothing was changed/);
    assert.deepEqual(await serverSettings(), before);
  });

  test('says so when the program cannot write its settings file', async (t) => {
    const { page } = await openSettings(t);
    const before = fs.readFileSync(server.settingsFile, 'utf8');
    const blocker = server.settingsFile + '.new';
    fs.mkdirSync(blocker);
    t.after(() => fs.rmSync(blocker, { recursive: true, force: true }));
    await page.fill('#port', '2001');
    assert.match(await save(page), /could not write its settings file: the settings were not saved/);
    assert.equal(fs.readFileSync(server.settingsFile, 'utf8'), before);
    assert.equal((await serverSettings()).port, 2001, 'in force until the program ends');
  });

  test('says so when the program cannot be reached', async (t) => {
    const { page } = await openSettings(t);
    await server.stop();
    assert.match(await save(page), /Could not reach Zarudodo Vudade.*The settings were not saved/);
  });
});
