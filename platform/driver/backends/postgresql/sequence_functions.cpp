// The sequence functions of schema metashelf_driver, and their creation
// under the same advisory lock that serialises the host's provisioning.
// The functions are made once and never replaced: a body that changes gets
// a new name.
#include "backends/postgresql/sequence_functions.h"

#include "backends/postgresql/connection.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// ms_alter_sequence(sequence, n): the session's increment of a sequence
// that exists (as ALTER SEQUENCE refuses an unknown name or a table).
// ms_nextval(sequence): last value + the session's increment (1 unless
// set). The setting's name carries the sequence's oid.
constexpr const char kEnsure[] =
    "DO $do$ BEGIN "
    "IF to_regprocedure('metashelf_driver.ms_nextval(text)') IS NOT NULL THEN RETURN; END IF; "
    "PERFORM pg_advisory_xact_lock(7340561, 1); "
    "CREATE SCHEMA IF NOT EXISTS metashelf_driver; "
    "IF to_regprocedure('metashelf_driver.ms_alter_sequence(text,bigint)') IS NULL THEN "
    "CREATE FUNCTION metashelf_driver.ms_alter_sequence(p_seq text, p_inc bigint) "
    "RETURNS bigint LANGUAGE plpgsql AS $f$ DECLARE s regclass := p_seq::regclass; BEGIN "
    "IF (SELECT relkind FROM pg_class WHERE oid = s) <> 'S' THEN "
    "RAISE EXCEPTION '\"%\" is not a sequence', p_seq USING ERRCODE = '42809'; END IF; "
    "PERFORM set_config('metashelf.increment_' || s::oid, p_inc::text, false); "
    "RETURN p_inc; END $f$; "
    "END IF; "
    "IF to_regprocedure('metashelf_driver.ms_nextval(text)') IS NULL THEN "
    "CREATE FUNCTION metashelf_driver.ms_nextval(p_seq text) RETURNS bigint "
    "LANGUAGE plpgsql AS $f$ DECLARE s regclass := p_seq::regclass; "
    "inc bigint := coalesce(nullif(current_setting('metashelf.increment_' || s::oid, true), "
    "'')::bigint, 1); v bigint; BEGIN "
    "PERFORM pg_advisory_lock(7340561, 3); "
    "BEGIN v := nextval(s); IF inc <> 1 THEN v := v + inc - 1; PERFORM setval(s, v); END IF; "
    "EXCEPTION WHEN OTHERS THEN PERFORM pg_advisory_unlock(7340561, 3); RAISE; END; "
    "PERFORM pg_advisory_unlock(7340561, 3); RETURN v; END $f$; "
    "END IF; "
    "END $do$";

}  // namespace

void EnsureSequenceFunctions(PgConnection* connection) {
  Diagnostic ignored;
  connection->Run(kEnsure, {}, &ignored);
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf
