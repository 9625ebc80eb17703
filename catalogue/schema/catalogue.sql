/* The three catalogue tables this tool reads and writes, as the tool sees
   them: integers are 32-bit, texts of N characters are VARCHAR(N) except the
   one-character flags, which are CHAR(1). The catalogue is a dialect 1
   database with the default character set NONE (texts are 8-bit bytes).

   Run it with isql-fb on an existing, empty dialect 1 database:
     isql-fb -q -sqldialect 1 -user SYSDBA -password bluecrane -i catalogue.sql <database>
   No foreign key joins TB_MUSICAS to TB_PASTAS: the catalogue may hold music
   rows whose folder row is missing. */

SET SQL DIALECT 1;

CREATE TABLE TB_PASTAS (
  PAS_CODIGO INTEGER NOT NULL PRIMARY KEY,
  PAS_PATH VARCHAR(256)
);

CREATE TABLE TB_MUSICAS (
  MUS_CODIGO INTEGER NOT NULL PRIMARY KEY,
  MUS_NOME VARCHAR(45),
  MUS_INTERPRETE VARCHAR(45),
  MUS_TEMPO VARCHAR(5),
  MUS_TIPO CHAR(1),
  MUS_ALBUM VARCHAR(45),
  MUS_ANO INTEGER,
  MUS_FAIXA INTEGER,
  MUS_SUCESSO CHAR(1),
  MUS_NOMECOMPLETO VARCHAR(100),
  GEN_CODIGO INTEGER,
  SUB_CODIGO INTEGER,
  RIT_CODIGO INTEGER,
  VOC_CODIGO INTEGER,
  GRA_CODIGO INTEGER,
  IDI_CODIGO INTEGER,
  PAS_CODIGO INTEGER,
  MUS_ARQUIVO VARCHAR(256),
  MUS_COMPOSITOR VARCHAR(45),
  MUS_TIPOPERIODO CHAR(1),
  MUS_PERIODOINICIO VARCHAR(5),
  MUS_PERIODOFIM VARCHAR(5),
  MUS_SEGUNDOS INTEGER
);

CREATE TABLE TB_VINHETAS (
  VIN_CODIGO INTEGER NOT NULL PRIMARY KEY,
  VIN_NOME VARCHAR(45),
  VIN_TEMPO VARCHAR(5),
  VIN_TIPO CHAR(1),
  VIN_ARQUIVO VARCHAR(256),
  CAV_CODIGO INTEGER,
  VIN_SEGUNDOS INTEGER
);

COMMIT;
