#pragma once

// The catalogue as this tool uses it: the connection DB_Velmar, the
// transaction Trans_Velmar, the queries Q_Musicas (music tracks with their
// folder's path) and Q_Vinhetas (jingles) of the rows whose time is still
// "00:00", and their update statement sets Up_Musicas and Up_Vinhetas; and
// for the companion's check, the same queries of every row, Q_MusicasTodas
// and Q_VinhetasTodas, with Up_MusicasTodas and Up_VinhetasTodas.
//
// Start-up:  if (AplicaConfiguracao(catalogue.DB_Velmar, folder + ConfigFileName))
//              catalogue.DB_Velmar.Connect();
// Update run, per query (see TQuery):
//            Q_Musicas.Open(); Q_Musicas.FetchAll(); Q_Musicas.First();
//            ... Edit(); SetInteger("MUS_SEGUNDOS", s); SetString("MUS_TEMPO", t);
//            Q_Musicas.ApplyUpdates(); Trans_Velmar.CommitRetaining(); Next() ...
// End:       destroying the TCatalogo releases the update sets and queries,
//            commits a transaction still active and detaches; errors there
//            are dropped.

#include "catalogue/DataSet.h"

#include <array>
#include <string>

// The database name until the configuration gives one.
inline constexpr const char* DefaultDatabaseName = "C:\\Velmar\\Velmar Play\\Velmardb\\VELMARAUDIO.FDB";

// The columns each query lists, with their kind and size (characters).
extern const std::array<TColumnDef, 24> MusicasColumns;
extern const std::array<TColumnDef, 7> VinhetasColumns;

// The statements, lines joined with line breaks, made from the tables'
// description (Tabelas.h).
extern const std::string MusicasSelectSql;
extern const std::string VinhetasSelectSql;
// The modify statements write only the two columns the tool sets, so a change
// another program makes to any other column of the row is kept. They write a
// row only while it still lacks a length ("00:00", compared as the select
// compares it) and still names the file that was measured: the same file
// name, and for music the same folder with the same path. A row that another
// program re-pointed or gave a length since it was fetched is left as that
// program left it, and its write fails with "Update Failed".
extern const std::string MusicasModifySql;
extern const std::string VinhetasModifySql;
// The same for every row, whatever its length (the companion's check of the
// lengths already written). Their modify statements write a row only while
// it still holds the seconds and the time text it was fetched with (byte for
// byte, null-safe) and names the same file: an edit by another program since
// the fetch wins, and the write fails with "Update Failed".
extern const std::string MusicasTodasSelectSql;
extern const std::string VinhetasTodasSelectSql;
extern const std::string MusicasTodasModifySql;
extern const std::string VinhetasTodasModifySql;

class TCatalogo {
public:
  TCatalogo();
  TCatalogo(const TCatalogo&) = delete;
  TCatalogo& operator=(const TCatalogo&) = delete;

  // Declared in the order of creation; released in reverse, so the
  // statements are dropped before the transaction they ran in is committed,
  // and the transaction ends before the detach, which the client refuses
  // while a transaction is active.
  TDatabase DB_Velmar;
  TTransaction Trans_Velmar;
  TQuery Q_Musicas;
  TUpdateSQL Up_Musicas;
  TQuery Q_Vinhetas;
  TUpdateSQL Up_Vinhetas;
  TQuery Q_MusicasTodas;
  TUpdateSQL Up_MusicasTodas;
  TQuery Q_VinhetasTodas;
  TUpdateSQL Up_VinhetasTodas;
};
