# The content server's two units from one template: the single server, and
# the instance unit of which several run on one PostgreSQL database, one per
# port. Sets `out_var` to the files written to `binary_dir`. Wants
# VANTORO_BINDIR and VANTORO_SYSCONFDIR set.
function(vantoro_write_units source_dir binary_dir out_var)
  set(VANTORO_UNIT_DESCRIPTION "Vantoro content server")
  set(VANTORO_UNIT_PORT "\${VANTORO_PORT}")
  set(VANTORO_UNIT_STATE vantoro-content-server)
  configure_file(${source_dir}/vantoro-content-server.service.in
    ${binary_dir}/vantoro-content-server.service @ONLY)
  set(VANTORO_UNIT_DESCRIPTION "Vantoro content server on port %i")
  set(VANTORO_UNIT_PORT "%i")
  set(VANTORO_UNIT_STATE "vantoro-content-server-%i")
  configure_file(${source_dir}/vantoro-content-server.service.in
    ${binary_dir}/vantoro-content-server@.service @ONLY)
  set(${out_var} ${binary_dir}/vantoro-content-server.service
      ${binary_dir}/vantoro-content-server@.service PARENT_SCOPE)
endfunction()
