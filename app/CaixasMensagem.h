#pragma once

#include <QString>

// The two kinds of message box the program shows. The window and the
// application's error handler talk to the user only through this interface,
// so a front end without a screen (or a test) can take the texts instead.
class TCaixasMensagem {
public:
  virtual ~TCaixasMensagem() = default;
  // A plain message: the application title as caption, the text, no icon, one OK button.
  virtual void Mensagem(const QString& texto) = 0;
  // The error box: the application title as caption, an error icon, one OK button.
  // The text arrives as it is to be shown (the full stop already added).
  virtual void Erro(const QString& texto) = 0;
};

// The real boxes: modal, without a parent, so they stand centred on the screen.
class TCaixasMensagemQt : public TCaixasMensagem {
public:
  void Mensagem(const QString& texto) override;
  void Erro(const QString& texto) override;
};
