#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Config.h"
#include "paths/PathMapping.h"
#include "run/FrenteAtualizacao.h"

#include <QFont>
#include <QWidget>

#include <memory>
#include <string>

class QLabel;
class TGauge;
class TImageButton;
class TSinaisParada;

// The window's font: "MS Sans Serif" at 8 points where the system has it,
// else the system's sans-serif at 8 points.
QFont FonteDaJanela();

// The main window: two bars, two labels and the buttons "Atualizar" and
// "Fechar". It owns the catalogue (connection, transaction, queries) for its
// whole life; destroying it commits a transaction still active and detaches.
class TFrmPrincipal : public QWidget, private TFrenteAtualizacao {
  Q_OBJECT
public:
  static constexpr int ClientWidth = 481;
  static constexpr int ClientHeight = 147;

  // Builds the window and runs its start-up (FormCreate), which looks for
  // BaseAudio.ini in pastaConfiguracao (a folder ending with its separator).
  explicit TFrmPrincipal(const std::string& pastaConfiguracao = ExecutableFolder(), QWidget* parent = nullptr);
  ~TFrmPrincipal() override;

  // DB_Velmar, Trans_Velmar, Q_Musicas, Up_Musicas, Q_Vinhetas, Up_Vinhetas.
  TCatalogo Catalogo;

  // Widgets, in the order of the window layout.
  TImageButton* BFechar;
  TImageButton* BAlterar;
  TGauge* GaugeGeral;
  TGauge* GaugeAtual;
  QLabel* lblProgressao;
  QLabel* Label1;

  // Handlers. FormCreate: start-up, run by the constructor. BAlterarClick: the
  // update run. BFecharClick: closes the window, which ends the program.
  void FormCreate();
  void BAlterarClick();
  void BFecharClick();

  // From now on a stop signal read from sinais ends a run after its current
  // row (or ends the call into the catalogue that the run waits in, when the
  // server does not answer), and the window then closes as "Fechar" does.
  // (Between runs the program's event loop watches the signals; see Programa.h.)
  void AtendeSinais(TSinaisParada& sinais);

private:
  // The update run's front end: the bars, the label and the plain message box.
  void DefineMaximo(TBarra barra, std::int32_t maximo) override;
  void DefineProgresso(TBarra barra, std::int32_t progresso) override;
  std::int32_t Progresso(TBarra barra) const override;
  void DefineRotulo(const std::string& texto) override;
  void Mensagem(const std::string& texto) override;
  bool Interromper() override;
  TGauge* Gauge(TBarra barra) const;

  std::string pastaConfiguracao_;
  // BaseAudio.ini's [CAMINHOS]; a wrong section keeps every run from starting.
  TPathMapping mapeamento_;
  std::string erroMapeamento_;
  TSinaisParada* sinais_ = nullptr;
};
