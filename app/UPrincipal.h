#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Config.h"
#include "run/ContextoExecucao.h"
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
// "Fechar". It holds one run context, and with it the catalogue (connection,
// transaction, queries), for its whole life; destroying it commits a
// transaction still active and detaches.
class TFrmPrincipal : public QWidget, private TFrenteAtualizacao {
  Q_OBJECT
  // Before Catalogo, which is its catalogue.
  TContextoExecucao contexto_;

public:
  static constexpr int ClientWidth = 481;
  static constexpr int ClientHeight = 147;

  // Builds the window and runs its start-up (FormCreate), which looks for
  // BaseAudio.ini in pastaConfiguracao (a folder ending with its separator).
  // sinais, when given, are wired before the start-up connects: a stop
  // signal ends a run after its current row (or a call into the catalogue
  // that the start-up or a run waits in when the server does not answer; an
  // attach is left waiting instead), and the window then closes as "Fechar"
  // does. (Between runs the program's event loop watches the signals; see
  // Programa.h.)
  explicit TFrmPrincipal(const std::string& pastaConfiguracao = ExecutableFolder(), TSinaisParada* sinais = nullptr,
                         QWidget* parent = nullptr);
  ~TFrmPrincipal() override;

  // DB_Velmar, Trans_Velmar, Q_Musicas, Up_Musicas, Q_Vinhetas, Up_Vinhetas: the context's.
  TCatalogo& Catalogo;

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

private:
  // The update run's front end: the bars, the label and the plain message box.
  void DefineMaximo(TBarra barra, std::int32_t maximo) override;
  void DefineProgresso(TBarra barra, std::int32_t progresso) override;
  std::int32_t Progresso(TBarra barra) const override;
  void DefineRotulo(const std::string& texto) override;
  void Mensagem(const std::string& texto) override;
  bool Interromper() override;
  TGauge* Gauge(TBarra barra) const;

  TSinaisParada* sinais_;
};
