// placeholder until this unit lands
