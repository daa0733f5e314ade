-- Neovim (0.7 or later): tzk-lsp for TZK definitions. Put this file in ~/.config/nvim/plugin/.
vim.cmd([[autocmd BufRead,BufNewFile *.TZD,*.tzd,*.TZI,*.tzi setfiletype tzd]])
vim.api.nvim_create_autocmd('FileType', {
  pattern = 'tzd',
  callback = function(args)
    local client = vim.lsp.start_client({
      name = 'tzk-lsp',
      cmd = { 'tzk-lsp' },
      root_dir = vim.fn.expand('%:p:h'),
    })
    if client then
      vim.lsp.buf_attach_client(args.buf, client)
      vim.bo[args.buf].omnifunc = 'v:lua.vim.lsp.omnifunc'
      vim.keymap.set('n', 'gd', vim.lsp.buf.definition, { buffer = args.buf })
      vim.keymap.set('n', 'K', vim.lsp.buf.hover, { buffer = args.buf })
      vim.keymap.set('n', 'gr', vim.lsp.buf.references, { buffer = args.buf })
    end
  end,
})
