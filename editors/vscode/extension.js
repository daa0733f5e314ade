// Starts tzk-lsp for TZK definitions: diagnostics as you type, completion, hover, go to
// definition, find references and the test case outline all come from the server.
'use strict';

const vscode = require('vscode');
const { LanguageClient } = require('vscode-languageclient/node');

let client;

function activate(context) {
  const command = vscode.workspace.getConfiguration('tzk').get('languageServer.path', 'tzk-lsp');
  client = new LanguageClient(
    'tzk-lsp',
    'TZK definitions',
    { command, args: [] },
    { documentSelector: [{ scheme: 'file', language: 'tzd' }] }
  );
  context.subscriptions.push({ dispose: () => client && client.stop() });
  return client.start();
}

function deactivate() {
  return client ? client.stop() : undefined;
}

module.exports = { activate, deactivate };
