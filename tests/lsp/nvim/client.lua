-- Drives tzk-lsp as an engineer's Neovim does: opens the definition given on the command line,
-- waits for its diagnostics, asks for completion, hover and definitions, and writes what came
-- back to $TZK_LSP_OUT, one line per answer.
local out = {}
local function log(s) table.insert(out, s) end
local function finish()
  vim.fn.writefile(out, os.getenv('TZK_LSP_OUT'))
  vim.cmd('qa!')
end

local bufnr = vim.api.nvim_get_current_buf()
local client_id = vim.lsp.start_client({
  name = 'tzk-lsp',
  cmd = { os.getenv('TZK_LSP') },
  root_dir = vim.fn.expand('%:p:h'),
})
if not client_id then
  log('no client')
  finish()
end
vim.lsp.buf_attach_client(bufnr, client_id)

if not vim.wait(20000, function() return #vim.diagnostic.get(bufnr) > 0 end, 50) then
  log('no diagnostics')
end
for _, d in ipairs(vim.diagnostic.get(bufnr)) do
  local first = vim.split(d.message, '\n')[1]
  log(string.format('diagnostic %d:%d-%d severity %d: %s', d.lnum + 1, d.col, d.end_col, d.severity, first))
end

local uri = vim.uri_from_bufnr(bufnr)
local function request(method, line, character)
  local params = { textDocument = { uri = uri }, position = { line = line, character = character } }
  local answers = vim.lsp.buf_request_sync(bufnr, method, params, 10000) or {}
  for _, answer in pairs(answers) do
    if answer.error then log(method .. ' error ' .. answer.error.message) end
    return answer.result
  end
end

-- After "Sys." in line 6: the device's functions with their parameters.
local completion = request('textDocument/completion', 5, 8)
local items = completion and (completion.items or completion) or {}
local labels = {}
for _, item in ipairs(items) do
  if item.label == 'Delay' or item.label == 'Goto' then
    table.insert(labels, item.label .. ' ' .. (item.detail or ''))
  end
end
table.sort(labels)
log('completion ' .. #items .. ' items')
for _, l in ipairs(labels) do log('completion ' .. l) end

local hover = request('textDocument/hover', 5, 9)
if hover then
  local lines = vim.split(hover.contents.value, '\n')
  log('hover ' .. lines[2])
else
  log('no hover')
end

local function where(result)
  if not result or not result[1] then return 'none' end
  local r = result[1]
  return vim.fn.fnamemodify(vim.uri_to_fname(r.uri), ':t') .. ':' .. (r.range.start.line + 1) .. ':' .. r.range.start.character
end
log('definition of Sys ' .. where(request('textDocument/definition', 5, 5)))
log('definition of SETTLE ' .. where(request('textDocument/definition', 5, 25)))
log('definition of "Measure" ' .. where(request('textDocument/definition', 7, 24)))
log('definition of %Count ' .. where(request('textDocument/definition', 7, 35)))
finish()
