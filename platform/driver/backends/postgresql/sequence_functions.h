// The server functions that OWNER.SEQ.NEXTVAL and ALTER SEQUENCE ...
// INCREMENT BY n become on PostgreSQL (see the dialect's PostgreSQL target),
// made on a database the first time a connection finds them missing.
//
// PostgreSQL's own ALTER SEQUENCE is transactional: it locks the sequence
// until the transaction ends, and two transactions that each drew a value
// and then change the increment deadlock (the identifier-block idiom:
// draw, INCREMENT BY n-1, draw, INCREMENT BY 1, draw). Oracle commits the
// ALTER at once. Here the increment is the session's own, a setting undone
// with the transaction that set it, and a draw advances the sequence by it.
// Each draw holds a session advisory lock for that draw alone, so no other
// session's draw lands inside a block being reserved, and nothing is held
// until the transaction ends.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_SEQUENCE_FUNCTIONS_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_SEQUENCE_FUNCTIONS_H_

namespace metashelf {
namespace driver {
namespace postgresql {

class PgConnection;

// Makes the functions when absent (one round trip when they are there). A
// database that cannot take them (no right to create, a standby) is left
// as it is: sequence statements then fail with the server's reason.
void EnsureSequenceFunctions(PgConnection* connection);

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_SEQUENCE_FUNCTIONS_H_
